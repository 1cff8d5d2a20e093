# Shared by the host sides of scenarios (scenarios/NAME.host), which run on
# the host while the board runs NAME: waiting for the board, and its second
# serial line, which is a Unix socket here.

# Waits until a command succeeds, for at most SECONDS.
await() {
	local deadline=$((SECONDS + $1))
	shift
	until "$@"; do
		if [ $SECONDS -ge $deadline ]; then
			echo "gave up waiting for: $*" >&2
			return 1
		fi
		sleep 0.1
	done
}

# Waits until the console log LOG has a line holding TEXT; fails after
# SECONDS (default 60).
wait_for_console() {
	await "${3:-60}" grep -qF -- "$1" "$2"
}

# Runs one command (JSON) on QEMU's monitor, BOARD_QMP_SOCKET, and waits for
# its answer; fails on an error answer.
qmp() {
	local command=$1 line status=1
	coproc QMP { socat - "UNIX-CONNECT:$BOARD_QMP_SOCKET"; }
	read -r -t 30 line <&"${QMP[0]}"
	echo '{"execute": "qmp_capabilities"}' >&"${QMP[1]}"
	read -r -t 30 line <&"${QMP[0]}"
	echo "$command" >&"${QMP[1]}"
	# Events may come before the answer.
	while read -r -t 30 line <&"${QMP[0]}"; do
		case $line in
		*'"return"'*) status=0; break ;;
		*'"error"'*) echo "qmp: $command: $line" >&2; break ;;
		esac
	done
	kill "$QMP_PID" 2> /dev/null || true
	wait "$QMP_PID" 2> /dev/null || true
	return $status
}

# A click of the tablet at pixel X, Y of a WIDTH x HEIGHT screen: QEMU's
# absolute axes run from 0 to 32767; the click aims at the pixel's centre.
qmp_click() {
	local x=$(((2 * $1 + 1) * 32767 / (2 * $3))) y=$(((2 * $2 + 1) * 32767 / (2 * $4))) button
	qmp "{\"execute\": \"input-send-event\", \"arguments\": {\"events\": [
		{\"type\": \"abs\", \"data\": {\"axis\": \"x\", \"value\": $x}},
		{\"type\": \"abs\", \"data\": {\"axis\": \"y\", \"value\": $y}}]}}"
	for button in true false; do
		qmp "{\"execute\": \"input-send-event\", \"arguments\": {\"events\": [
			{\"type\": \"btn\", \"data\": {\"down\": $button, \"button\": \"left\"}}]}}"
	done
}
