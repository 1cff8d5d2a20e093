# motion_drv on the simulated PIR line with motion_monitor subscribed: each
# settled change prints one line, a burst of edges prints one, and SIGINT
# ends the monitor with status 0.
insmod /lib/modules/motion_drv.ko
klog
ls -1d /dev/sr501 /sys/class/sr501_class/sr501
pull=$(pir-pull)

# motion_monitor's output is a file, which it flushes when SIGINT ends it.
monitor_start() {
	motion_monitor > "/tmp/$1" &
	monitor=$!
	sleep 1
}

monitor_stop() {
	kill -INT "$monitor"
	status=0
	wait "$monitor" || status=$?
	echo "$1: motion_monitor ended with status $status"
	echo "$1: $(grep -c 'val is' "/tmp/$1") lines"
	sed "s/^/$1: /" "/tmp/$1"
}

monitor_start changes
echo pull-up > "$pull"
sleep 1
echo pull-down > "$pull"
sleep 1
monitor_stop changes

# Five edges back to back, well inside the 2-jiffy debounce.
monitor_start burst
echo pull-up > "$pull"
echo pull-down > "$pull"
echo pull-up > "$pull"
echo pull-down > "$pull"
echo pull-up > "$pull"
sleep 1
monitor_stop burst

rmmod motion_drv
[ ! -e /dev/sr501 ] && echo "unloaded: /dev/sr501 is gone"
