# The kit as make install lays it on a busybox board: mdev, the hotplug
# helper, loads each module by its device's modalias (the boot loads
# lightprox_board from modules-load.d) and gives the nodes the group
# sensorkit, whose member "user" may use them and "guest" may not.
nodes="/dev/ap3216 /dev/dht11 /dev/sg90 /dev/sr501"
hotplug
modprobe -a $(sed '/^#/d' /etc/modules-load.d/*.conf)
# mdev handles the events one after another, after the kernel made the nodes.
tries=50
until [ "$(stat -c %G $nodes 2>/dev/null | grep -c '^sensorkit$')" -eq 4 ] ||
	[ "$tries" -eq 0 ]; do
	sleep 0.2
	tries=$((tries - 1))
done
lsmod | grep -E '^(temphum_drv|motion_drv|lightprox_drv|lightprox_board|servo_drv) ' |
	cut -d' ' -f1 | sort | sed 's/^/loaded: /'
# busybox ls cuts names to 8 characters.
stat -c '%A %U %G %n' $nodes

as() {
	su -s /bin/sh "$1" -c "$2" 2>&1 | sed "s|^|$1: |"
}
for who in user guest; do
	as "$who" dht11_read
	# The PIR's level is one byte.
	as "$who" 'dd if=/dev/sr501 of=/dev/null bs=1 count=1 status=none &&
		echo "/dev/sr501 read"'
	# A good read of the AP3216C's six bytes returns 0.
	as "$who" 'dd if=/dev/ap3216 of=/dev/null bs=6 count=1 status=none &&
		echo "/dev/ap3216 read"'
	# The servo's angle is one byte: 90 degrees.
	as "$who" "printf '\\132' > /dev/sg90 && echo '90 degrees written to /dev/sg90'"
done
