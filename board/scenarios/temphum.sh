# temphum_drv on the emulated DHT11: the records it sends read back through
# dht11_read at either end of its wake-up, the rest it takes after each
# answer, each fault the driver must report, two readers at once, and the
# device unbound and bound again.
insmod /lib/modules/temphum_drv.ko
klog
ls -1d /dev/dht11 /sys/class/dht11_class/dht11

# One reading: dht11_read's line, or its reason.
reading() {
	dht11_read 2>&1 || true
}
# The sensor hears no start signal for a second after its answer.
rest() {
	sleep 1
}
faulty_read() {
	rest
	echo "$1: $(reading)"
	klog
}

dht11-sensor 45 0 23 5
echo "record 45 0 23 5: $(reading)"
echo "at once again: $(reading)"
klog
rest
dht11-sensor 90 1 0 9
echo "record 90 1 0 9: $(reading)"
rest
dht11-sensor 12 0 45 7 0
echo "a wrong checksum: $(reading)"

# A rest counts from the end of the answer, however often the host asks.
dht11-sensor rest_ms 2000
dht11-sensor 50 0 25 0
rest
echo "1 s into a rest of 2 s: $(reading)"
klog
rest
echo "2 s into a rest of 2 s: $(reading)"
dht11-sensor rest_ms 1000

# Every 2 s, as dht11_read -i 2 reads, the sensor has rested.
rest
: > /tmp/every
dht11_read -i 2 > /tmp/every 2>&1 &
reader=$!
until [ "$(wc -l < /tmp/every)" -ge 3 ]; do sleep 1; done
kill "$reader"
wait "$reader" || true
head -n 3 /tmp/every | sed 's/^/every 2 s: /'

# At either end of the wake-up, 20 and 40 us after the release, with every
# phase up to 2 us off, as a real sensor's are (its 0 bits are 26 to 28 us
# high).
dht11-sensor jitter_us 2
dht11-sensor 60 0 30 0
for wake in 20 40; do
	dht11-sensor wake_us "$wake"
	exact=0
	for i in 1 2 3 4 5 6 7 8 9 10; do
		rest
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
rest
echo "after the stall: $(reading)"

# The driver takes one exchange at a time: neither reader sees a record
# of the other's exchange half done, and of the two exchanges, back to
# back, the sensor answers the first only.
dht11-sensor 33 0 21 2
: > /tmp/readers
for i in 1 2 3; do
	rest
	reading > /tmp/reader.1 &
	reading > /tmp/reader.2
	wait
	cat /tmp/reader.1 /tmp/reader.2 >> /tmp/readers
done
echo "two readers, three times:" \
	"$(grep -cx 'humidity = 33.0 %, temperature = 21.2 C' /tmp/readers) whole records," \
	"$(grep -cx 'read /dev/dht11: Input/output error' /tmp/readers) refused," \
	"$(wc -l < /tmp/readers) in all"

echo dht11 > /sys/bus/platform/drivers/my_dht11/unbind
echo "unbound: $(reading)"
echo dht11 > /sys/bus/platform/drivers/my_dht11/bind
rest
echo "bound again: $(reading)"

rmmod temphum_drv
[ ! -e /dev/dht11 ] && echo "unloaded: /dev/dht11 is gone"
