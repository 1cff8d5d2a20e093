# The AP3216C declared by the board's device tree, as the kit's overlay
# puts it on the SoC's I2C1: the client is there from boot, mdev loads
# lightprox_drv by its modalias, and lightprox_board is not needed: its
# load is refused, the address being taken.
client=/sys/bus/i2c/devices/0-001e
echo "client at boot: $(cat "$client/name"), $(cat "$client/modalias")"
hotplug
tries=50
until [ "$(stat -c %G /dev/ap3216 2>/dev/null)" = sensorkit ] || [ "$tries" -eq 0 ]; do
	sleep 0.2
	tries=$((tries - 1))
done
echo "bound to: $(basename "$(readlink "$client/driver")")"
stat -c '%A %U %G %n' /dev/ap3216
light 10 300 100
su -s /bin/sh user -c 'light_poll & sleep 2; kill $!'
if modprobe lightprox_board 2>/dev/null; then
	echo "lightprox_board loaded beside the declared sensor"
else
	echo "lightprox_board refused"
fi
klog
