# The soak, on the debug kernel: round after round every module is loaded,
# bound, used, unbound and unloaded in a changing order, while the kit's
# programs and plain readers and writers use every node as its device goes
# and comes back. The kernel's messages follow each round, so the host sees
# whatever its checkers report; a summary of how the programs ended and a
# final kmemleak scan close the run.
rounds=100
drivers=/sys/bus/platform/drivers
pull=$(pir-pull)
endings=/tmp/endings
# A program opens its node within a second or so, however busy the board.
open_limit_s=30
# The servo's unplugging in this round, as its writer sees it: 0 before,
# 1 while its provider is being unbound, 2 while unbound, 3 while being
# bound again, 4 after; empty for the moment it is rewritten.
servo_phase=/tmp/servo.phase
# What servo_set says when the servo is not bound.
servo_refused='sg90 write failed: No such device'

# Anything unexpected is said, and fails the scenario at its end.
unexpected() {
	echo "soak: unexpected: $*"
	surprises=$((surprises + 1))
}
surprises=0

# Runs a program and notes how it ended: "NAME STATUS".
ran() {
	status=0
	"$@" || status=$?
	echo "$1 $status" >> "$endings"
}

# Waits for the background program NAME with process PID and notes how it
# ended.
note_ending() {
	status=0
	wait "$2" || status=$?
	echo "$1 $status" >> "$endings"
}

# How many of the noted runs of NAME ended with STATUS.
endings_of() {
	grep -cx "$1 $2" "$endings" || true
}

# Seconds since boot in $now, without starting a process.
clock() {
	read -r now _ < /proc/uptime
	now=${now%.*}
}

# Waits until process PID has NODE open as its first file, or has ended
# (an unreaped child ends as a zombie, state Z), for open_limit_s at most.
wait_open() {
	clock
	deadline=$((now + open_limit_s))
	while ! [ "/proc/$1/fd/3" -ef "$2" ]; do
		read -r _ _ state _ 2> /dev/null < "/proc/$1/stat" || return 0
		[ "$state" != Z ] || return 0
		clock
		if [ "$now" -ge "$deadline" ]; then
			unexpected "process $1 had not opened $2 after $open_limit_s s"
			return 0
		fi
	done
}

# Writes a device's name to one of its driver's sysfs files.
driver_file() {
	echo "$3" > "$drivers/$1/$2" || unexpected "$2 of $3 by $1 refused"
}

# Reads a second apart, as the DHT11 needs; of the two readers' exchanges
# at about the same time it answers one.
dht11_reader() {
	for i in 1 2 3; do
		[ "$i" -eq 1 ] || sleep 1
		head -c 5 /dev/dht11 > /dev/null 2>&1 || true
	done
}

pir_toggler() {
	for i in 1 2 3 4; do
		echo pull-up > "$pull"
		echo pull-down > "$pull"
	done
}

# The moment of a servo_set run, from the phases before and after it: the
# servo "bound" or "unbound" throughout, or its binding "changing".
servo_moment() {
	case $1:$2 in
	0:0 | 4:4) echo bound ;;
	2:2) echo unbound ;;
	*) echo changing ;;
	esac
}

# Notes each run's ending with its moment: "servo_set MOMENT STATUS" and
# what it said, if anything.
servo_writer() {
	for angle in 0 90 180 255; do
		read -r before < "$servo_phase" || true
		status=0
		said=$(servo_set "$angle" 2>&1) || status=$?
		read -r after < "$servo_phase" || true
		echo "servo_set $(servo_moment "$before" "$after") $status${said:+ $said}" \
			>> "$endings"
	done
}

# The sensor is taken away under a running light_poll (PID), which must say
# so and end with 1; started while it is away, light_poll must end with 255.
unplug_light_sensor() {
	wait_open "$1" /dev/ap3216
	rmmod lightprox_board
	ran light_poll > /dev/null
}

# Brings the sensor back once the poller has ended: a poller still running
# then would go on reading. It ends at its next read, up to a second later,
# so the round does other work first.
replug_light_sensor() {
	note_ending light_poll "$1"
	insmod /lib/modules/lightprox_board.ko
}

# Unbinding the PWM provider unbinds the servo first, before the unbind
# returns.
unplug_servo_provider() {
	echo 1 > "$servo_phase"
	driver_file test-pwm unbind test-pwm
	echo 2 > "$servo_phase"
}

# Both come back. The driver core may bind the servo again by itself,
# before or after this script asks it to.
replug_servo_provider() {
	echo 3 > "$servo_phase"
	driver_file test-pwm bind test-pwm
	echo sg90 2> /dev/null > "$drivers/my_sg90/bind" ||
		[ -e "$drivers/my_sg90/sg90" ] || unexpected "sg90 not bound again"
	echo 4 > "$servo_phase"
}

round() {
	kit load "$1"
	echo 0 > "$servo_phase"

	monitors=
	for i in 1 2 3; do
		motion_monitor >> "/tmp/monitor.$i" &
		monitors="$monitors $!"
	done
	light_poll > /dev/null 2>> /tmp/light_poll.err &
	poller=$!
	# A monitor that holds the node has its SIGINT handler too.
	for pid in $monitors; do
		wait_open "$pid" /dev/sr501
	done
	dht11_reader &
	dht11_reader &
	pir_toggler &
	servo_writer &

	driver_file my_dht11 unbind dht11
	driver_file my_sr501 unbind sr501
	unplug_servo_provider
	driver_file my_dht11 bind dht11
	unplug_light_sensor "$poller"
	replug_servo_provider
	driver_file my_sr501 bind sr501
	for pid in $monitors; do
		kill -INT "$pid"
		note_ending motion_monitor "$pid"
	done
	replug_light_sensor "$poller"
	wait

	kit unload $(($1 * 2 + 1))
}

# One scan now, so that what the boot left is not counted, and one at the
# end; none in between, for time.
checkers start
: > "$endings"
: > /tmp/light_poll.err
echo "=== soak: $rounds rounds"
# The kernel's messages are shown every ten rounds: each call starts
# processes, and on the debug kernel that is what a round costs.
clock
started=$now
r=1
while [ "$r" -le "$rounds" ]; do
	round "$r"
	if [ $((r % 10)) -eq 0 ] || [ "$r" -eq "$rounds" ]; then
		klog
		echo "soak: round $r done"
	fi
	r=$((r + 1))
done
clock
echo "soak: $rounds rounds in $((now - started)) s"

# How many lines of the files are not the pattern, whole.
others_than() {
	pattern=$1
	shift
	cat "$@" | grep -cvxE "$pattern" || true
}

[ "$(others_than 'val is [01], (have|no) people' /tmp/monitor.*)" -eq 0 ] ||
	unexpected "motion_monitor printed: $(sort -u /tmp/monitor.*)"
[ "$(others_than 'read /dev/ap3216: No such device' /tmp/light_poll.err)" -eq 0 ] ||
	unexpected "light_poll said: $(sort -u /tmp/light_poll.err)"
# servo_set ends with 0 while the servo is bound, and with 1, saying why,
# while it is not; a run its binding changed under may end either way. Its
# node is there throughout.
servo_right="servo_set (bound|changing) 0|servo_set (unbound|changing) 1 $servo_refused"
grep '^servo_set ' "$endings" | grep -vxE "$servo_right" > /tmp/servo.wrong || true
[ ! -s /tmp/servo.wrong ] ||
	unexpected "servo_set ended against its moment: $(sort /tmp/servo.wrong | uniq -c)"
echo "soak: motion_monitor ended with 0 by SIGINT: $(endings_of motion_monitor 0) runs"
echo "soak: light_poll ended with 1 when unplugged: $(endings_of light_poll 1) runs"
echo "soak: light_poll ended with 255 without its node: $(endings_of light_poll 255) runs"
echo "soak: servo_set ended with 0, the servo bound: $(endings_of 'servo_set bound' 0) runs"
echo "soak: servo_set ended with 1, refused, the servo unbound:" \
	"$(endings_of 'servo_set unbound' "1 $servo_refused") runs"
echo "soak: servo_set ended with 0 or 1, refused, as the servo's binding changed:" \
	"$(endings_of 'servo_set changing' 0) and $(endings_of 'servo_set changing' "1 $servo_refused") runs"
echo "soak: servo_set ended as its moment wants: $(grep -cxE "$servo_right" "$endings") runs"

checkers report soak || unexpected "the kernel's checkers reported the above"
[ "$surprises" -eq 0 ]
