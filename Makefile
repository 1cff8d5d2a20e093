# Front door: `make demo` tours the kit on the virtual board (on Debian's own
# kernel), `make board` gives a shell on it, `make` builds, `make test` runs
# every test, `make bench` runs the benchmarks (CTest tests labelled bench,
# one at a time, output shown) and writes their figures to
# docs/benchmarks.md, `make soak` runs only the soak on the debug kernel
# (label soak), `make panel-shot` refreshes docs/panel.png, `make
# demo-panel` runs the panel on the virtual board's own screen and keeps its
# screenshots, `make modules KDIR=... [ARCH=arm
# CROSS_COMPILE=arm-linux-gnueabihf-]` builds the kernel modules against a
# kernel tree, `make overlays` the device-tree overlays, `make install` puts
# the kit into a board's root file system and `make dkms-install` hands the
# modules to DKMS (below).
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
CTEST_ARGS ?=

.PHONY: all setup build test soak bench panel-shot demo demo-panel board images modules modules-clean \
	install install-modules install-programs install-nodes install-autoload overlays dkms-install

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

# make overlays [OVERLAY_DEFINES='-DSENSORKIT_...']: the device-tree overlays
# of dts/overlays/ in $(OVERLAY_DIR), for Raspberry Pi boards (parameters in
# config.txt) and i.MX6UL/ULL boards (parameters as OVERLAY_DEFINES).
OVERLAY_DIR ?= $(BUILD)/overlays
OVERLAY_DEFINES ?=

overlays:
	@mkdir -p $(OVERLAY_DIR)
	@for source in dts/overlays/*.dtso; do \
		scripts/build-overlay $$source $(OVERLAY_DIR)/$$(basename $$source .dtso).dtbo $(OVERLAY_DEFINES) || exit 1; \
	done
	@echo "overlays: $$(cd $(OVERLAY_DIR) && ls *.dtbo | tr '\n' ' ')in $(OVERLAY_DIR)"

# make install [DESTDIR=<board root>] KDIR=<kernel tree> [ARCH=arm
# CROSS_COMPILE=arm-linux-gnueabihf-]: the modules for KDIR's kernel in
# /lib/modules/<release>/extra with their indexes (depmod), the programs in
# $(bindir), built for the board (cross-built with the project's toolchain
# file for ARCH=arm, or PROGRAMS_TOOLCHAIN), the device nodes' group and
# mode (udev, busybox mdev, the group for systemd-sysusers) and the
# modules-load.d entry for lightprox_board; LIGHTPROX_BOARD=no leaves that
# out, for a board whose device tree declares the AP3216C.
# PROGRAMS_BUILD names the programs' build folder, and PROGRAMS_CMAKE_FLAGS
# adds to their configuration, for a build that makes more than the kit's
# programs in the same folder (the virtual boards' helpers and panel).
DESTDIR ?=
prefix ?= /usr
bindir ?= $(prefix)/bin
datadir ?= $(prefix)/share
sysconfdir ?= /etc
LIGHTPROX_BOARD ?= yes
ifeq ($(ARCH),arm)
PROGRAMS_TOOLCHAIN ?= $(CURDIR)/cmake/arm-linux-gnueabihf.cmake
endif
PROGRAMS_BUILD ?= $(BUILD)/programs-$(or $(ARCH),native)
PROGRAMS_CMAKE_FLAGS ?=

install: install-modules install-programs install-nodes install-autoload

install-modules:
	@test -n "$(KDIR)" || { echo "usage: make install KDIR=<kernel tree> [ARCH=arm CROSS_COMPILE=arm-linux-gnueabihf-] [DESTDIR=<root>]" >&2; exit 2; }
	@scripts/install-modules $(KDIR) $(BUILD)/modules-install-$(or $(ARCH),native) $(DESTDIR)

install-programs:
	@test -z "$(ARCH)" -o -n "$(PROGRAMS_TOOLCHAIN)" || { echo "make install: ARCH=$(ARCH) needs PROGRAMS_TOOLCHAIN=<CMake toolchain file>" >&2; exit 2; }
	@cmake -S . -B $(PROGRAMS_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
		$(if $(PROGRAMS_TOOLCHAIN),-DCMAKE_TOOLCHAIN_FILE=$(PROGRAMS_TOOLCHAIN)) \
		-DSENSORKIT_HOST=OFF -DSENSORKIT_PANEL=OFF -DSENSORKIT_SANITIZE=OFF -DSENSORKIT_BOARD=OFF \
		-DCMAKE_INSTALL_PREFIX=$(prefix) -DCMAKE_INSTALL_BINDIR=$(bindir) $(PROGRAMS_CMAKE_FLAGS) >/dev/null
	@cmake --build $(PROGRAMS_BUILD) -j $(JOBS)
	@DESTDIR=$(DESTDIR) cmake --install $(PROGRAMS_BUILD)

install-nodes:
	install -D -m 0644 packaging/60-sensorkit.rules $(DESTDIR)$(sysconfdir)/udev/rules.d/60-sensorkit.rules
	install -D -m 0644 packaging/sysusers.conf $(DESTDIR)$(sysconfdir)/sysusers.d/sensorkit.conf
	install -D -m 0644 packaging/mdev.conf $(DESTDIR)$(datadir)/sensorkit/mdev.conf

install-autoload:
ifeq ($(LIGHTPROX_BOARD),yes)
	install -D -m 0644 packaging/modules-load.conf $(DESTDIR)$(sysconfdir)/modules-load.d/sensorkit.conf
endif

# make dkms-install [DESTDIR=<root>]: the modules' sources and
# drivers/dkms.conf in /usr/src/sensorkit-<version>; on the board itself (no
# DESTDIR), DKMS then builds and installs them for the running kernel, and
# again for each kernel installed later. A version already there is
# replaced.
DKMS_VERSION := $(shell sed -n 's/^PACKAGE_VERSION="\(.*\)"$$/\1/p' drivers/dkms.conf)
DKMS_SOURCE = $(DESTDIR)/usr/src/sensorkit-$(DKMS_VERSION)

dkms-install:
	@if [ -z "$(DESTDIR)" ] && [ -n "$$(dkms status sensorkit/$(DKMS_VERSION))" ]; then \
		dkms remove sensorkit/$(DKMS_VERSION) --all; \
	fi
	@rm -rf $(DKMS_SOURCE)
	@scripts/copy-module-sources drivers $(DKMS_SOURCE)
	@cp drivers/dkms.conf $(DKMS_SOURCE)/
	@echo "dkms-install: the modules' sources in $(DKMS_SOURCE)"
	@if [ -z "$(DESTDIR)" ]; then \
		dkms add sensorkit/$(DKMS_VERSION) && dkms install sensorkit/$(DKMS_VERSION); \
	fi
