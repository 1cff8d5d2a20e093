# serial_reader on the board's second serial line, $board_serial: on "virt"
# a 16550A on QEMU's PCI serial card, driven by the kernel's own 8250
# driver; on the i.MX6UL the SoC's UART2, driven by its imx driver. The host
# sends every byte value at 9600 baud (serial.host); serial_reader prints
# "Enter a char: " and then one line for each, and writes nothing back.
grep "${board_serial#/dev/} at" /tmp/kernel.log | sed 's/^/kernel: /'
serial_reader "$board_serial" > /tmp/serial.out &
reader=$!
wait_until() {
	deadline=$(($(cut -d. -f1 /proc/uptime) + $1))
	shift
	until "$@"; do
		[ "$(cut -d. -f1 /proc/uptime)" -lt "$deadline" ] || return 1
		sleep 0.1
	done
}
prompted() {
	[ "$(head -c 14 /tmp/serial.out)" = "Enter a char: " ]
}
wait_until 10 prompted
echo "serial: the prompt came first"
stty -a -F "$board_serial" 2> /dev/null | sed 's/^/stty: /'
echo "serial: listening"

# "get: XX C" for each byte value, C the byte itself.
i=0
while [ "$i" -lt 256 ]; do
	printf 'get: %02x ' "$i"
	printf "\\$(printf '%03o' "$i")"
	printf '\n'
	i=$((i + 1))
done > /tmp/serial.want
{ printf 'Enter a char: '; cat /tmp/serial.want; } > /tmp/serial.expected
complete() {
	[ "$(wc -c < /tmp/serial.out)" -ge "$(wc -c < /tmp/serial.expected)" ]
}
wait_until 30 complete || echo "serial: only $(wc -c < /tmp/serial.out) bytes arrived"
kill "$reader"
if cmp /tmp/serial.expected /tmp/serial.out; then
	echo "serial: the prompt, then the 256 byte values as sent, one line each"
fi
