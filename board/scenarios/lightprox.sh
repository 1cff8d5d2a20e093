# lightprox_drv and lightprox_board in both load orders, light_poll reading
# the values set in the SMBus stub, and the node following the client.
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

light 10 300 100
light_poll &
sleep 2
kill $!
echo "configuration register after open: $(i2cget -f -y 0 0x1e 0x00 b)"

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
