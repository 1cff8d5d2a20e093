# Shared by the host sides of scenarios (scenarios/NAME.host), which run on
# the host while the board runs NAME: waiting for the board, and its second
# serial line, which is a Unix socket here.

# Waits until the console log LOG has a line holding TEXT; fails after
# SECONDS (default 60).
wait_for_console() {
	local text=$1 log=$2 seconds=${3:-60}
	local deadline=$((SECONDS + seconds))
	until grep -qF -- "$text" "$log" 2>/dev/null; do
		if [ $SECONDS -ge $deadline ]; then
			echo "no '$text' on the board's console within $seconds s" >&2
			return 1
		fi
		sleep 0.1
	done
}
