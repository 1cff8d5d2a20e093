# temphum_drv bound to line 0 of the PL061, where nothing drives the line:
# the read sees it held low and fails, and the board carries on.
insmod /lib/modules/temphum_drv.ko
probe_log=$(klog)
echo "$probe_log"
ls -1d /dev/dht11 /sys/class/dht11_class/dht11

# 4.1 writes the chip's line without the "gpiochipN: " of later kernels.
base=$(sed -n 's/^\(gpiochip[0-9]*: \)\{0,1\}GPIOs \([0-9]*\)-.*pl061.*/\2/p' /sys/kernel/debug/gpio)
case "$probe_log" in
*"DHT11_PIN = $base"*) echo "probe took PL061 line 0 (GPIO $base)" ;;
esac

if head -c 5 /dev/dht11 > /tmp/record; then
	echo "dht11 read succeeded"
else
	echo "dht11 read failed"
fi
klog
sleep 1
echo "still responsive after the read"
rmmod temphum_drv
[ ! -e /dev/dht11 ] && echo "unloaded: /dev/dht11 is gone"
