# lightprox_drv and lightprox_board in both load orders, light_poll reading
# the values set in the sensor's stand-in, and the node following the client.
ap3216_node() {
	if [ -e /dev/ap3216 ]; then echo "$1: /dev/ap3216 present"; else echo "$1: /dev/ap3216 absent"; fi
}

# The node appears once both the driver and the client are there.
load_in_order() {
	insmod "/lib/modules/$1.ko"
	ap3216_node "$1 alone"
	insmod "/lib/modules/$2.ko"
	klog
	ap3216_node "$1 then $2"
}

load_in_order lightprox_drv lightprox_board
ls -1d /sys/class/ap3216_class/ap3216

# What the driver writes to the sensor's configuration register (0x00),
# as the kernel's own SMBus trace sees it: a stand-in need not keep it
# (the i.MX6UL's, QEMU's ds1338, has its clock there).
smbus=/sys/kernel/debug/tracing/instances/smbus
mkdir "$smbus"
for event in "$smbus"/events/smbus/smbus_write "$smbus"/events/i2c/smbus_write; do
	if [ -d "$event" ]; then echo 1 > "$event/enable"; fi
done
light 10 300 100
light_poll &
sleep 2
kill $!
echo "configuration register written on open:" \
	$(sed -n 's/.* a=01e f=0000 c=0 BYTE_DATA l=1 \[\(..\)\].*/\1/p' "$smbus/trace")
rmdir "$smbus"

rmmod lightprox_board
ap3216_node "client removed"
insmod /lib/modules/lightprox_board.ko
klog
ap3216_node "client back"
rmmod lightprox_board
rmmod lightprox_drv

load_in_order lightprox_board lightprox_drv
rmmod lightprox_drv
ap3216_node "driver unloaded"
rmmod lightprox_board
