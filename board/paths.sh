# Paths and settings shared by the board scripts. The kernel build is cached
# outside the repository, keyed by what it is built from.
board_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo_dir=$(dirname "$board_dir")
cache_dir=${XDG_CACHE_HOME:-$HOME/.cache}/sensorkit
kernel_tarball=/usr/src/linux-source-6.1.tar.xz

# The board comes in two profiles, chosen by setting board_profile before
# sourcing this file: "normal", and "debug", which layers the kernel's own
# checkers on the normal kernel and gives the machine a second CPU.
board_profile=${board_profile:-normal}
kernel_fragments=("$board_dir/kernel.config")
# QEMU's ARM "virt" machine; its device tree depends on these options too.
qemu_machine=(-M virt -cpu cortex-a7 -m 256)
# Scenarios run on instruction-counted time: the guest's clock then does
# not jump when the host deschedules QEMU, so a debounce window of a few
# jiffies holds however busy the host is, and idle time costs nothing.
qemu_scenario_clock=(-icount shift=3,sleep=off)
case $board_profile in
normal) ;;
debug)
	kernel_fragments+=("$board_dir/kernel-debug.config")
	qemu_machine+=(-smp 2)
	# Counted instructions run the two CPUs in turn on one host thread,
	# and the debug kernel's boot stalls that way (after "clk: Disabling
	# unused clocks"); its scenario asserts nothing on timing.
	qemu_scenario_clock=() ;;
*) echo "board: unknown profile '$board_profile' (normal, debug)" >&2; exit 2 ;;
esac

# New fragments or a new Debian kernel source give a new kernel build.
kernel_key() {
	{
		cat "${kernel_fragments[@]}"
		dpkg-query -W -f='${Version}' linux-source-6.1
	} | sha256sum | cut -c1-16
}

# The whole tree, apart from the few files scripts/checkpatch unpacks.
kernel_src=$cache_dir/linux-source-6.1-full
kernel_out=$cache_dir/kernel-$(kernel_key)
jobs=${JOBS:-2}
