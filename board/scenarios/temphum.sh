# temphum_drv on the emulated DHT11: the records it sends read back through
# dht11_read at either end of its wake-up, each fault the driver must
# report, two readers at once, and the device unbound and bound again.
insmod /lib/modules/temphum_drv.ko
klog
ls -1d /dev/dht11 /sys/class/dht11_class/dht11

# One reading: dht11_read's line, or its reason.
reading() {
	dht11_read 2>&1 || true
}
faulty_read() {
	echo "$1: $(reading)"
	klog
}

dht11-sensor 45 0 23 5
echo "record 45 0 23 5: $(reading)"
dht11-sensor 90 1 0 9
echo "record 90 1 0 9: $(reading)"
dht11-sensor 12 0 45 7 0
echo "a wrong checksum: $(reading)"

# At either end of the wake-up, 20 and 40 us after the release, with every
# phase up to 2 us off, as a real sensor's are (its 0 bits are 26 to 28 us
# high).
dht11-sensor jitter_us 2
dht11-sensor 60 0 30 0
for wake in 20 40; do
	dht11-sensor wake_us "$wake"
	exact=0
	for i in 1 2 3 4 5 6 7 8 9 10; do
		if [ "$(reading)" = "humidity = 60.0 %, temperature = 30.0 C" ]; then
			exact=$((exact + 1))
		fi
	done
	echo "wake-up $wake us, with jitter: $exact of 10 readings exact"
done
dht11-sensor jitter_us 0
dht11-sensor wake_us 30

dht11-sensor present 0
faulty_read absent
dht11-sensor present 1
dht11-sensor stuck_low 1
faulty_read "stuck low"
dht11-sensor stuck_low 0
dht11-sensor stall_after 20
faulty_read "stalled"
dht11-sensor stall_after -1
echo "after the stall: $(reading)"

# The driver takes one exchange at a time: neither reader sees a record
# of the other's exchange half done.
dht11-sensor 33 0 21 2
two_readers() {
	for i in 1 2 3 4 5; do reading; done > "/tmp/reader.$1"
}
two_readers 1 &
two_readers 2
wait
echo "two readers: $(cat /tmp/reader.1 /tmp/reader.2 |
	grep -cx 'humidity = 33.0 %, temperature = 21.2 C') whole records of 10"

echo dht11 > /sys/bus/platform/drivers/my_dht11/unbind
echo "unbound: $(reading)"
echo dht11 > /sys/bus/platform/drivers/my_dht11/bind
echo "bound again: $(reading)"

rmmod temphum_drv
[ ! -e /dev/dht11 ] && echo "unloaded: /dev/dht11 is gone"
