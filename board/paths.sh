# Paths and settings shared by the board scripts. The kernel build is cached
# outside the repository, keyed by what it is built from.
board_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(dirname "$board_dir")
cache_dir=${XDG_CACHE_HOME:-$HOME/.cache}/sensorkit
jobs=${JOBS:-2}

# The board's own Linux 4.1.15 comes as a tarball from outside the project.
linux_4_1_tarball=${LINUX_4_1_TARBALL:-$repo_dir/../shared/linux-4.1.15/linux-4.1.15.tar.xz}

# The board comes in profiles, chosen by setting board_profile before
# sourcing this file: "6.1" (the default), "debug", which layers the
# kernel's own checkers on the 6.1 kernel and gives the machine a second
# CPU, "4.1", the real board's kernel version, "6.12", "screen", the 6.1
# board (the same kernel) with a screen and a pointer, and the panel on it,
# and "debian", the board on Debian 12's own armhf kernel.
board_profile=${board_profile:-6.1}
# QEMU's ARM "virt" machine; its device tree depends on these options too.
# Without LPAE the kernels reach only the PCIe host kept below 4 GiB. The
# console and the second serial line, as the guest names them.
board_machine=virt
machine_label="QEMU virt"
qemu_machine=(-M virt,highmem=off -cpu cortex-a7 -m 256)
board_console=ttyAMA0
board_serial=ttyS0
# The kit's overlay (dts/overlays/sensorkit-imx6ul.dtso) names the machine's
# stand-ins: the DHT11 and the PIR on fixture lines, the servo on the test
# PWM. The tree has no I2C controller: lightprox_board declares the AP3216C
# on i2c-stub's adapter.
board_overlay_options=("-DSENSORKIT_DHT11_GPIO=test_dht11 0" "-DSENSORKIT_PIR_GPIO=sim_bank 0"
	-DSENSORKIT_PWM=test_pwm -DSENSORKIT_PWM_CELLS=3)
board_i2c_in_tree=
# Scenarios run on instruction-counted time: the guest's clock then does
# not jump when the host deschedules QEMU, so a debounce window of a few
# jiffies holds however busy the host is, and idle time costs nothing. An
# instruction counts a nanosecond, as on the real board's 1 GHz Cortex-A7:
# the DHT11's microsecond timing must hold against the driver's own steps.
qemu_scenario_clock=(-icount shift=0,sleep=off)
# Each kernel: its name, its tick rate, the ticks after the last edge
# between which motion_drv's 2-jiffy debounce puts a PIR notification
# (6.1's timer wheel rounds every expiry up a jiffy, calc_index in
# kernel/time/timer.c, which 4.1's did not), its source tarball and the
# directory it unpacks to, the configuration it starts from, the project's
# fragments and patches on top, the version magic its modules must carry
# (where the board's is meant), its simulated hardware's modules in the
# kernel's build, and about how many files it compiles (for the progress
# lines). A kernel that Debian builds is downloaded instead
# (board/debian-kernel), and laid out otherwise: where its zImage and the
# tree to build modules against are in what build-kernel prints.
kernel_patches=()
kernel_vermagic=
kernel_vermagic_module=
kernel_hz=100
debounce_ticks=(2 3)
kernel_image_package=
kernel_zimage=arch/arm/boot/zImage
kernel_kdir=.
kernel_boot_modules=()
kernel_irqsoff_tracer=yes
case $board_profile in
6.1 | debug | screen)
	kernel_label="Linux 6.1"
	kernel_tarball=/usr/src/linux-source-6.1.tar.xz
	kernel_topdir=linux-source-6.1
	kernel_package=linux-source-6.1
	kernel_base_config=allnoconfig
	kernel_fragments=("$board_dir/kernel.config")
	# One kernel serves the board with a screen and without; the debug
	# kernel has no screen.
	[ "$board_profile" = debug ] || kernel_fragments+=("$board_dir/kernel-screen.config")
	kernel_hw_modules=(drivers/gpio/gpio-sim.ko drivers/i2c/i2c-stub.ko)
	board_fixtures=(test_pwm test_dht11)
	kernel_files=840 ;;
6.12)
	kernel_label="Linux 6.12"
	kernel_tarball=/usr/src/linux-source-6.12.tar.xz
	kernel_topdir=linux-source-6.12
	kernel_package=linux-source-6.12
	kernel_base_config=allnoconfig
	kernel_fragments=("$board_dir/kernel.config")
	kernel_hw_modules=(drivers/gpio/gpio-sim.ko drivers/i2c/i2c-stub.ko)
	board_fixtures=(test_pwm test_dht11)
	kernel_files=880 ;;
debian)
	# Debian 12's own armhf kernel as users get it (HZ=250,
	# PREEMPT_VOLUNTARY, modules signed but unsigned ones taken), from
	# Debian's archive; its headers build the kit, the fixtures and the
	# simulators it lacks (board/debian/). What the board needs that it
	# builds as modules comes from its own /lib/modules, loaded at boot; the
	# kit's modules must carry the magic of those. It has no irqsoff tracer.
	kernel_label="Linux 6.1, Debian 12's armmp"
	kernel_hz=250
	kernel_image_package=linux-image-armmp
	kernel_package=
	kernel_tarball=
	kernel_topdir=
	kernel_zimage=zImage
	kernel_kdir=kdir
	kernel_hw_modules=(sim/gpio-sim.ko sim/i2c-stub.ko)
	# The kit's standard interfaces need IIO's core and the input
	# devices' event nodes, modules there too.
	kernel_boot_modules=(kernel/fs/configfs/configfs.ko kernel/drivers/i2c/i2c-dev.ko
		kernel/drivers/iio/industrialio.ko kernel/drivers/input/evdev.ko)
	kernel_vermagic_module=modules/kernel/fs/configfs/configfs.ko
	kernel_irqsoff_tracer=
	board_fixtures=(test_pwm test_dht11) ;;
4.1)
	kernel_label="Linux 4.1.15"
	debounce_ticks=(1 2)
	kernel_tarball=$linux_4_1_tarball
	kernel_topdir=linux-4.1.15
	kernel_package=
	kernel_base_config=imx_v7_defconfig
	kernel_fragments=("$board_dir/kernel-4.1.config")
	kernel_patches=("$board_dir"/patches-4.1/*.patch)
	kernel_vermagic="4.1.15 SMP preempt mod_unload modversions ARMv7 p2v8"
	kernel_hw_modules=()
	# The SoC's GPIO inputs cannot be driven from outside QEMU: fixtures
	# carry the PIR and the DHT11.
	board_fixtures=(test_gpio test_dht11)
	kernel_files=1400
	# The board's SoC, emulated: its RAM is what the vendor's tree
	# declares, its first two UARTs the console and the second line. The
	# AP3216C's stand-in is a device QEMU emulates at its address on the
	# SoC's I2C1: a DS1338, whose battery-backed RAM (0x08 to 0x3f) keeps
	# the sensor's six data bytes (0x0a to 0x0f).
	board_machine=imx6ul
	machine_label="emulated i.MX6UL"
	qemu_machine=(-M mcimx6ul-evk -m 512M -device ds1338,bus=i2c-bus.0,address=0x1e)
	board_console=ttymxc0
	board_serial=ttymxc1
	# The overlay's defaults are the SoC's PWM1 and I2C1; the lines are
	# the fixtures'.
	board_overlay_options=("-DSENSORKIT_DHT11_GPIO=test_dht11 0"
		"-DSENSORKIT_PIR_GPIO=sim_bank 0")
	board_i2c_in_tree=yes
	# Where the boot loader (imx6ul/boot.S) and what it starts are placed
	# in RAM: the addresses the board's U-Boot uses for the zImage, the
	# tree and the initramfs.
	imx6ul_boot_addr=0x80000000
	imx6ul_zimage_addr=0x80800000
	imx6ul_dtb_addr=0x83000000
	imx6ul_initrd_addr=0x83800000 ;;
*)
	echo "board: unknown profile '$board_profile' (6.1, debug, 4.1, 6.12, screen, debian)" >&2
	exit 2 ;;
esac
debounce_window="$((debounce_ticks[0] * 1000 / kernel_hz)) to $((debounce_ticks[1] * 1000 / kernel_hz)) ms"
if [ "$board_profile" = debug ]; then
	kernel_fragments+=("$board_dir/kernel-debug.config")
	# Two of 6.1's own error paths the failure-point runs walk into.
	kernel_patches=("$board_dir"/patches-debug/*.patch)
	qemu_machine+=(-smp 2)
	# Counted instructions run the two CPUs in turn on one host thread,
	# and the debug kernel's boot stalls that way (after "clk: Disabling
	# unused clocks"); its scenario asserts nothing on timing.
	qemu_scenario_clock=()
fi

# The panel's board: a framebuffer of the panel's window size, a tablet
# whose clicks QEMU's monitor sends, room for Qt's runtime, and the panel
# cross-built with Debian's armhf Qt.
board_panel=
if [ "$board_profile" = screen ]; then
	# Both devices speak modern virtio only, which virt's virtio-mmio
	# slots offer when asked.
	qemu_machine+=(-m 512 -global virtio-mmio.force-legacy=false
		-device virtio-gpu-device,xres=640,yres=480 -device virtio-tablet-device)
	board_panel=yes
fi

# The unpacked (and patched) tree, apart from the few files
# scripts/checkpatch unpacks.
kernel_src=$cache_dir/$kernel_topdir-full
[ ${#kernel_patches[@]} -eq 0 ] ||
	kernel_src+=-$(cat "${kernel_patches[@]}" | sha256sum | cut -c1-16)

# A kernel that comes from outside the project may not be on the machine;
# says so, and how to give it. Debian's come with scripts/setup or from
# its archive.
kernel_source_missing() {
	[ -z "$kernel_package" ] && [ -z "$kernel_image_package" ] &&
		[ ! -f "$kernel_tarball" ] || return 1
	echo "no Linux 4.1.15 tree at $kernel_tarball;" \
		"set LINUX_4_1_TARBALL to the path of linux-4.1.15.tar.xz"
}

# A new base configuration, fragments, patches or kernel source give a new
# kernel build. Reading the source's version (or hashing a tarball) costs
# time, so this runs only where the build is wanted.
kernel_out() {
	local key
	key=$({
		echo "$kernel_base_config"
		cat "${kernel_fragments[@]}" "${kernel_patches[@]}"
		if [ -n "$kernel_package" ]; then
			dpkg-query -W -f='${Version}' "$kernel_package"
		else
			sha256sum < "$kernel_tarball"
		fi
	} | sha256sum | cut -c1-16)
	echo "$cache_dir/kernel-$key"
}
