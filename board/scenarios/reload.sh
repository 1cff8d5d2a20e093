# Round after round every module is loaded in a changing order, each node
# used, each device unbound and bound again, and every module unloaded in
# another order: each round must leave the board as it found it, and the
# kernel's checks must not complain.
rounds=5
drivers=/sys/bus/platform/drivers
nodes="/dev/dht11 /dev/sr501 /dev/ap3216 /dev/sg90"
present() {
	n=0
	for node in $nodes; do
		if [ -e "$node" ]; then n=$((n + 1)); fi
	done
	echo "$n"
}
# The DHT11 hears no start signal for a second after its last answer.
use_nodes() {
	sleep 1
	if dht11_read > /dev/null 2>&1; then records=$((records + 1)); fi
	pir 1
	pir 0
	light_poll > /dev/null &
	poller=$!
	sleep 1
	kill "$poller"
	wait "$poller" || true
	servo_set 90
}
rebind() {
	echo "$2" > "$drivers/$1/unbind"
	echo "$2" > "$drivers/$1/bind"
}
r=1
while [ "$r" -le "$rounds" ]; do
	kit load "$r"
	loaded=$(present)
	records=0
	use_nodes
	rebind my_dht11 dht11
	rebind my_sr501 sr501
	rebind my_sg90 sg90
	rmmod lightprox_board
	insmod /lib/modules/lightprox_board.ko
	use_nodes
	kit unload $((r * 2 + 1))
	echo "reload: round $r: $loaded nodes loaded, $(present) after unloading," \
		"$(grep -c -E '^(temphum_drv|motion_drv|lightprox_drv|lightprox_board|servo_drv) ' /proc/modules) modules left," \
		"$records DHT11 records of 2"
	r=$((r + 1))
done
