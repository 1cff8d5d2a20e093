# The board as sensor_panel's device: sensor_frames reads its sensors
# through the kit and sends the readings as {module,value} frames on its
# second serial line, $board_serial, to the panel that listens at the
# host's end (panel.host). The host says "g" when the panel listens, and
# "d" when it has shown every frame.
kit load
stty -F "$board_serial" 9600 raw -echo cs8 -parenb -cstopb
# One byte from the host, waiting as long as it takes.
from_host() {
	dd if="$board_serial" bs=1 count=1 2> /dev/null
}
# Waits until sensor_frames has sent TEXT.
sent() {
	until grep -qF "$1" /tmp/frames; do sleep 0.1; done
}

echo "panel: waiting for the host"
[ "$(from_host)" = g ]
light 10 300 100
pir 1
dht11-sensor 45 0 23 5
: > /tmp/frames
sensor_frames --port "$board_serial" --interval 1 > /tmp/frames &
sender=$!
sent '{temp,23.5}'
pir 0
sent '{pir,0}'
light 12 1800 750
dht11-sensor 47 0 24 1
sent '{temp,24.1}{humi,47.0}{light,1800}{dis,750}{ir,12}'
[ "$(from_host)" = d ]
echo "panel: the host has shown them"
kill "$sender"
wait "$sender" || true
sed 's/^/panel: sent /' /tmp/frames
kit unload
