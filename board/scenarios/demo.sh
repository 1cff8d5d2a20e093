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

say "sensor_frames: the readings as {module,value} frames on the second serial line"
echo "It sends what the nodes read on $board_serial, for sensor_panel at the far"
echo "end, and prints each write: pir when it starts and on each SIGIO, temp and"
echo "humi from the DHT11 at most every 2 s, light, dis and ir every interval (1 s):"
light 10 300 100
dht11-sensor 45 0 23 5
: > /tmp/frames
sensor_frames --port "$board_serial" --interval 1 > /tmp/frames &
sender=$!
shown=0
# Waits until sensor_frames has sent TEXT; shows what it sent since the last look.
sent() {
	until grep -qF "$1" /tmp/frames; do sleep 0.1; done
	total=$(wc -l < /tmp/frames)
	sed -n "$((shown + 1)),${total}p" /tmp/frames
	shown=$total
}
sent '{temp,23.5}'
echo "somebody walks in"
pir 1
sent '{pir,1}'
echo "the lights go up and they come closer"
light 12 1800 750
sent '{ir,12}'
kill "$sender"
wait "$sender" || echo "(a signal ends sensor_frames: status $?)"

say "Unloading the kit in reverse order"
kit unload
lsmod
echo
echo "### Tour complete."
