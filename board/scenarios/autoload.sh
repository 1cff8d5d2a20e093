# The kit's modules loaded as a board's udev or mdev loads them: by the
# modalias of each device the device tree (or lightprox_board) declares,
# through the aliases their match tables give, as make install indexed them.
insmod /lib/modules/lightprox_board.ko
for dev in /sys/bus/platform/devices/dht11 /sys/bus/platform/devices/sr501 \
	/sys/bus/platform/devices/sg90 /sys/bus/i2c/devices/0-001e; do
	alias=$(cat "$dev/modalias")
	if modprobe "$alias"; then
		echo "autoload: $alias -> $(basename "$(readlink "$dev/driver")")"
	else
		echo "autoload: nothing loads for $alias"
	fi
done
ls -1 /dev/dht11 /dev/sr501 /dev/ap3216 /dev/sg90
kit unload
