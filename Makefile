# Front door: `make demo` tours the kit on the virtual board (on Debian's own
# kernel), `make board` gives a shell on it, `make` builds, `make test` runs
# every test, `make bench` runs the benchmarks (CTest tests labelled bench,
# one at a time, output shown) and writes their figures to
# docs/benchmarks.md, `make soak` runs only the soak on the debug kernel
# (label soak), `make panel-shot` refreshes docs/panel.png, `make
# demo-panel` runs the panel on the virtual board's own screen and keeps its
# screenshots, `make modules KDIR=... [ARCH=arm
# CROSS_COMPILE=arm-linux-gnueabihf-]` builds the kernel modules against a
# kernel tree.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CTEST_ARGS ?=

.PHONY: all setup build test soak bench panel-shot demo demo-panel board images modules modules-clean

all: build

setup:
	@scripts/setup host board

build: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@board/needs-kernel 4.1 true || echo "make test: the Linux 4.1.15 tests will report themselves skipped"
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE bench $(CTEST_ARGS)

soak: build
	cd $(BUILD) && ctest --output-on-failure -L soak $(CTEST_ARGS)

bench: build
	cd $(BUILD) && ctest --verbose -L bench --output-log bench.log $(CTEST_ARGS)
	@scripts/bench-table $(BUILD)/bench.log > docs/benchmarks.md
	@cat docs/benchmarks.md

# A screenshot of sensor_panel in a real window, for the README: the panel
# on the host shows the frames the virtual board sends from its readings.
panel-shot: build images
	SENSOR_PANEL=$(CURDIR)/$(BUILD)/panel/sensor_panel PANEL_SHOT=$(CURDIR)/docs/panel.png \
		board/e2e $(BUILD)/board panel

# The panel on the board with a screen: the host feeds it frames and clicks
# its slider through QEMU; the screenshots stay beside the console log.
demo-panel: build
	@scripts/setup board
	@board/build-images $(BUILD)/board-screen screen
	@board/e2e $(BUILD)/board-screen screen-panel
	@grep -E '^(screen|host):' $(BUILD)/board-screen/logs/screen-panel.log
	@cp $(BUILD)/board-screen/logs/screen-panel-clicked.png docs/panel-on-board.png
	@echo "demo-panel: screenshots in $(BUILD)/board-screen/logs/ (screen-panel.png, screen-panel-clicked.png), the second also as docs/panel-on-board.png"

images:
	@scripts/setup board
	@board/build-images $(BUILD)/board

# The tour runs on Debian's own armhf kernel, fetched rather than built.
demo:
	@scripts/setup demo
	@board/build-images $(BUILD)/board-debian debian
	@board/demo $(BUILD)/board-debian

board: images
	@board/run $(BUILD)/board

modules:
	@test -n "$(KDIR)" || { echo "usage: make modules KDIR=<kernel tree> [ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf-]" >&2; exit 2; }
	$(MAKE) -C $(KDIR) M=$(CURDIR)/drivers modules

modules-clean:
	@test -n "$(KDIR)" || { echo "usage: make modules-clean KDIR=<kernel tree>" >&2; exit 2; }
	$(MAKE) -C $(KDIR) M=$(CURDIR)/drivers clean
