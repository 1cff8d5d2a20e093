# The standard interfaces beside the kit's nodes, as busybox reads them:
# the DHT11's hwmon device, the AP3216C's IIO device and the PIR's input
# device, each gone when its driver is unbound and back when bound again.
insmod /lib/modules/temphum_drv.ko
insmod /lib/modules/motion_drv.ko
insmod /lib/modules/lightprox_drv.ko
insmod /lib/modules/lightprox_board.ko
klog

# The folder in FOLDER whose name file reads NAME, if any.
named() {
	for dir in "$1"/*; do
		if [ "$(cat "$dir/name" 2> /dev/null)" = "$2" ]; then echo "$dir"; fi
	done
}
# The files FILE... of the folder DIR on one line, or "none" without DIR.
values() {
	dir=$1
	shift
	if [ -z "$dir" ]; then echo none; return; fi
	for file in "$@"; do printf '%s ' "$(cat "$dir/$file")"; done | sed 's/ $//'
	echo
}
show_all() {
	echo "$1: hwmon dht11: $(values "$(named /sys/class/hwmon dht11)" \
		temp1_input humidity1_input)"
	echo "$1: iio ap3216c: $(values "$(named /sys/bus/iio/devices ap3216c)" \
		in_illuminance_raw in_proximity_raw in_intensity_ir_raw)"
	node=$(event-node sr501)
	echo "$1: input sr501: ${node:-none}"
}

dht11-sensor 45 0 23 5
light 10 300 100
show_all bound

drivers=/sys/bus/platform/drivers
echo dht11 > "$drivers/my_dht11/unbind"
echo sr501 > "$drivers/my_sr501/unbind"
echo 0-001e > /sys/bus/i2c/drivers/ap3216/unbind
show_all unbound

echo dht11 > "$drivers/my_dht11/bind"
echo sr501 > "$drivers/my_sr501/bind"
echo 0-001e > /sys/bus/i2c/drivers/ap3216/bind
# The sensor rests a second after its last answer.
sleep 1
dht11-sensor 50 0 20 1
light 11 301 101
show_all "bound again"
klog

rmmod lightprox_board
rmmod lightprox_drv
rmmod motion_drv
rmmod temphum_drv
