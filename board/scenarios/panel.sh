# The board as sensor_panel's device: it reads its sensors through the kit
# (light_poll, /dev/sr501, dht11_read) and sends what it read as
# {module,value} frames on its second serial line, $board_serial, to the
# panel that listens at the host's end (panel.host). The host says "g"
# when the panel listens, and "d" when it has shown every frame.
kit load
stty -F "$board_serial" 9600 raw -echo cs8 -parenb -cstopb
# One byte from the host, waiting as long as it takes.
from_host() {
	dd if="$board_serial" bs=1 count=1 2> /dev/null
}
# light_poll's first reading: "IR = A, light = B, dis = C". It comes at
# once; after ten seconds there is none.
light_reading() {
	: > /tmp/light
	light_poll > /tmp/light &
	poller=$!
	deadline=$(($(cut -d. -f1 /proc/uptime) + 10))
	until grep -q 'IR = ' /tmp/light; do
		if [ "$(cut -d. -f1 /proc/uptime)" -ge "$deadline" ]; then
			echo "panel: light_poll gave no reading within 10 s" >&2
			break
		fi
		sleep 0.1
	done
	kill "$poller"
	wait "$poller" || true
	sed -n 's/^IR = \([0-9]*\), light = \([0-9]*\), dis = \([0-9]*\)$/\1 \2 \3/p' /tmp/light
}
# The board's readings, one frame each, back to back as the panel wants.
send_readings() {
	read -r ir light dis <<-READING
	$(light_reading)
	READING
	pir=$(dd if=/dev/sr501 bs=1 count=1 2> /dev/null | od -An -tu1 | tr -d ' ')
	# The DHT11 hears no start signal for a second after its last answer.
	sleep 1
	set -- $(dht11_read | sed 's/^humidity = \([0-9.]*\) %, temperature = \([0-9.]*\) C$/\1 \2/')
	frames="{ir,$ir}{light,$light}{dis,$dis}{pir,$pir}{hum,$1}{temp,$2}"
	printf '%s' "$frames" > "$board_serial"
	echo "panel: sent $frames"
}

echo "panel: waiting for the host"
[ "$(from_host)" = g ]
light 10 300 100
pir 1
dht11-sensor 45 0 23 5
send_readings
light 12 1800 750
pir 0
dht11-sensor 47 0 24 1
send_readings
[ "$(from_host)" = d ]
echo "panel: the host has shown them"
kit unload
