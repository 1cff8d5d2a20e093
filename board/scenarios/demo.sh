# The tour `make demo` shows: every sensor read through its node, the servo
# swept, narrated as it goes.
say() {
	echo
	echo "### $*"
}

say "The kit's five modules load; each publishes its node and binds its device"
kit load
klog
ls -l /dev/dht11 /dev/sr501 /dev/ap3216 /dev/sg90

say "DHT11 temperature/humidity: a read runs the single-wire exchange"
echo "The board's DHT11 is emulated on a GPIO line of its own; it answers"
echo "the driver's start signal with its record, bit by bit, in real time."
echo "dht11_read reads it and checks its checksum:"
dht11-sensor 45 0 23 5
dht11_read
echo "Asked again at once, the sensor, resting after its answer, is silent:"
dht11_read || echo "(dht11_read ended with status $?)"
klog
echo "A second later it answers again:"
sleep 1
dht11_read
echo "When nobody answers, the driver says so:"
dht11-sensor present 0
sleep 1
dht11_read || echo "(dht11_read ended with status $?)"
dht11-sensor present 1
klog

say "HC-SR501 motion: motion_monitor waits for SIGIO from the driver"
motion_monitor &
monitor=$!
sleep 1
echo "somebody walks in (the PIR output rises)"
pir 1
sleep 1
echo "they leave (the output falls)"
pir 0
sleep 1
kill -INT "$monitor"
wait "$monitor"
echo "(Ctrl-C ends motion_monitor with status $?)"

say "AP3216C light/proximity on I2C adapter 0: light_poll reads once a second"
light 10 300 100
light_poll &
poller=$!
sleep 2
echo "the lights go up and somebody comes closer"
light 12 1800 750
sleep 2
kill "$poller"

say "SG90 servo: servo_set sweeps it; the PWM channel shows the pulse width"
for angle in 0 45 90 135 180; do
	servo_set "$angle"
	echo "servo_set $angle -> $(servo-state)"
done

say "Unloading the kit in reverse order"
kit unload
lsmod
echo
echo "### Tour complete."
