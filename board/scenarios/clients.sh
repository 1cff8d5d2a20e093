# Debian's own tools on the kit's standard interfaces: lm-sensors' sensors
# and node_exporter's hwmon collector read the DHT11, iio_attr the AP3216C
# and evtest the PIR's switch. With its driver unbound each says that its
# device is gone, and none waits for it.
insmod /lib/modules/temphum_drv.ko
insmod /lib/modules/motion_drv.ko
insmod /lib/modules/lightprox_drv.ko
insmod /lib/modules/lightprox_board.ko
klog
ip link set lo up
exporter_url=http://127.0.0.1:9100

# Runs CLIENT ARGS... for at most 20 s, printing what it says and how it
# ended.
client() {
	status=0
	timeout 20 "$@" 2>&1 || status=$?
	echo "$1: status $status"
}
# The AP3216C's three channels, each with its attributes and their values.
light_channels() {
	for channel in illuminance proximity intensity_ir; do
		client iio_attr -c ap3216c "$channel"
	done
}
# node_exporter's hwmon lines and how its hwmon collector fared. Busybox's
# own wget -T crashes: the bound is timeout's.
hwmon_metrics() {
	client wget -q -O /tmp/metrics "$exporter_url/metrics"
	grep -E '^node_hwmon_(temp_celsius|humidity)|^node_scrape_collector_success' /tmp/metrics || true
	echo "metrics: $(grep -c '^node_hwmon_' /tmp/metrics) node_hwmon lines"
}

prometheus-node-exporter --collector.disable-defaults --collector.hwmon \
	--web.listen-address=127.0.0.1:9100 > /tmp/node-exporter.log 2>&1 &
exporter=$!

dht11-sensor 45 0 23 5
light 10 300 100
client sensors
light_channels

# A new record, read once hwmon's last one is 2 s old.
dht11-sensor 50 0 20 1
sleep 2
tries=0
until timeout 5 wget -q -O /dev/null "$exporter_url/"; do
	tries=$((tries + 1))
	[ $tries -lt 30 ] || { echo "node_exporter: not listening after 30 tries"; break; }
	sleep 1
done
hwmon_metrics

# evtest watches the switch go 1 and 0, and ends when its device goes.
node=$(event-node sr501)
timeout 20 evtest "$node" > /tmp/evtest 2>&1 &
watcher=$!
sleep 1
pir 1
sleep 1
pir 0
sleep 1
echo sr501 > /sys/bus/platform/drivers/my_sr501/unbind
status=0
wait $watcher || status=$?
grep -E 'sr501|SW_FRONT_PROXIMITY|^evtest' /tmp/evtest || true
echo "evtest: status $status"

echo dht11 > /sys/bus/platform/drivers/my_dht11/unbind
echo 0-001e > /sys/bus/i2c/drivers/ap3216/unbind
client sensors
light_channels
client evtest --query "$node" EV_SW SW_FRONT_PROXIMITY
hwmon_metrics
kill $exporter
wait $exporter || true

rmmod lightprox_board
rmmod lightprox_drv
rmmod motion_drv
rmmod temphum_drv
