# For the benchmark board/bench-dht11: the interrupts-off window of each
# kind of DHT11 exchange, as the kernel's irqsoff tracer measures it
# (tracing_max_latency, in microseconds), on the emulated sensor, which
# takes no rest between exchanges here.
insmod /lib/modules/temphum_drv.ko
dht11-sensor rest_ms 0
tracing=/sys/kernel/debug/tracing
echo irqsoff > "$tracing/current_tracer"
# The longest window of COUNT reads with the sensor as the arguments set it.
window() {
	what=$1
	count=$2
	shift 2
	dht11-sensor wake_us 30
	dht11-sensor present 1
	dht11-sensor stuck_low 0
	dht11-sensor stall_after -1
	dht11-sensor jitter_us 0
	while [ $# -gt 0 ]; do
		dht11-sensor "$1" "$2"
		shift 2
	done
	longest=0
	i=0
	while [ "$i" -lt "$count" ]; do
		echo 0 > "$tracing/tracing_max_latency"
		dht11_read > /dev/null 2>&1 || true
		latency=$(cat "$tracing/tracing_max_latency")
		[ "$latency" -gt "$longest" ] && longest=$latency
		i=$((i + 1))
	done
	echo "dht11 irqsoff: $what: $longest us over $count exchanges"
}
dht11-sensor 45 0 23 5
window normal 20
dht11-sensor 255 255 255 255
window "normal, all bits 1" 5
window "normal, jitter 2 us" 20 jitter_us 2
window "normal, wake-up 20 us" 5 wake_us 20
window "normal, wake-up 40 us" 5 wake_us 40
window absent 5 present 0
window "stuck low" 5 stuck_low 1
window "stall after 0 bits" 5 stall_after 0
window "stall after 20 bits" 5 stall_after 20
window "stall after 39 bits" 5 stall_after 39
echo nop > "$tracing/current_tracer"
rmmod temphum_drv
