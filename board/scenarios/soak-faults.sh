# Every allocation a module's load or probe makes, failed in turn, on the
# debug kernel: the 1st, then the 2nd, ... until a load (or bind) makes
# fewer allocations than that (board/helpers/fail_nth). After each failure
# the module must have unwound cleanly: its node and class gone with it,
# or there as they should be, and it loads (or binds) again. The kernel's
# checkers judge the rest: KASAN and lockdep in the log, kmemleak at the
# end.

# Only the task that asks through /proc/self/fail-nth fails. Every slab
# allocation counts, sleeping ones too; page allocations as the kernel's
# defaults leave them to failure (higher orders that may not sleep).
echo N > /sys/kernel/debug/failslab/ignore-gfp-wait
echo 1 > /sys/kernel/debug/failslab/verbose
echo 1 > /sys/kernel/debug/fail_page_alloc/verbose

unexpected() {
	echo "faults: unexpected: $*"
	surprises=$((surprises + 1))
}
surprises=0

# The kit's modules: NAME NODE BUS DEVICE DRIVER; the device is on the bus
# (platform or i2c) and bound by the driver.
kit_modules() {
	cat <<-EOF
	temphum_drv dht11 platform dht11 my_dht11
	motion_drv sr501 platform sr501 my_sr501
	servo_drv sg90 platform sg90 my_sg90
	lightprox_drv ap3216 i2c 0-001e ap3216
	lightprox_board ap3216 i2c 0-001e ap3216
	EOF
}

# lightprox_drv binds to the client lightprox_board makes: each is loaded
# with the other there, so its load brings the probe too.
partner() {
	case $1 in
	lightprox_drv) echo lightprox_board ;;
	lightprox_board) echo lightprox_drv ;;
	esac
}

# Runs the command with the module's partner loaded; afterwards, with no
# failure left, the module must be loaded and its device bound. The module
# is the one being counted (name, node, bus, dev, driver).
with_partner() {
	other=$(partner "$name")
	if [ -n "$other" ]; then insmod "/lib/modules/$other.ko"; fi
	"$@" || unexpected "a failure of $name did not unwind"
	if grep -q "^$name " /proc/modules; then
		[ -e "/sys/bus/$bus/devices/$dev/driver" ] ||
			unexpected "$dev not bound with no failure left"
		rmmod "$name"
	else
		unexpected "$name not loaded with no failure left"
	fi
	if [ -n "$other" ]; then rmmod "$other"; fi
}

# A failed load leaves neither node nor class (lightprox_board's are
# lightprox_drv's, which is loaded and loses its client). A load that
# survived its failure has registered its driver, or made its client; a
# module whose node follows its load has made the node too, whether or not
# the probe it brought survived.
count_load_points() {
	case $name in
	lightprox_drv) made="=/sys/bus/$bus/drivers/$driver" ;;
	lightprox_board) made="=/sys/bus/$bus/devices/$dev" ;;
	*) made="=/sys/bus/$bus/drivers/$driver $(node_made)" ;;
	esac
	with_partner fail_nth load "/lib/modules/$name.ko" \
		"-/dev/$node" "-/sys/class/${node}_class" $made
}

# The checks that the module's node, class and device are there.
node_made() {
	echo "=/dev/$node =/sys/class/${node}_class =/sys/class/${node}_class/$node"
}

# A failed bind leaves the node of a module whose node follows its load
# (unbound, lightprox_drv has none); a bind that survived its failure has
# the node, whichever module makes it.
count_probe_points() {
	if [ "$name" = lightprox_drv ]; then
		checks="-/dev/$node -/sys/class/${node}_class"
	else
		checks="+/dev/$node"
	fi
	with_partner fail_each_bind $checks $(node_made)
}

fail_each_bind() {
	insmod "/lib/modules/$name.ko"
	echo "$dev" > "/sys/bus/$bus/drivers/$driver/unbind"
	fail_nth bind "/sys/bus/$bus/drivers/$driver" "$dev" "$@"
}

checkers start
# The kernel's messages go to /tmp/kernel.log only (each failure logs some);
# run-scenario shows any warning among them.
kit_modules > /tmp/kit_modules
while read -r name node bus dev driver; do
	count_load_points
	klog > /dev/null
done < /tmp/kit_modules
while read -r name node bus dev driver; do
	# lightprox_board has no probe of its own.
	[ "$name" = lightprox_board ] && continue
	count_probe_points
	klog > /dev/null
done < /tmp/kit_modules

checkers report faults || unexpected "the kernel's checkers reported the above"
[ "$surprises" -eq 0 ]
