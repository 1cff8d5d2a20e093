# Two node_fuzz processes call the four nodes with random counts, offsets,
# buffers and flags while a loop loads, binds, unbinds and unloads the
# modules under them, on the debug kernel. Nothing the kernel's checkers
# see may be reported, each fuzzer must end cleanly (it fails on an answer
# its node never gives) and in time, and no process may be left stuck.
seeds="1209 2026"
operations=12000
# A fuzzer takes 30 to 70 s: one still running after this is hung.
fuzz_limit_s=300
# The loading loop ends its round within seconds of being told to stop.
churn_limit_s=60
drivers=/sys/bus/platform/drivers

# Binding and unbinding may race with a load or an unload, and a module
# whose node a fuzzer holds open refuses to go: both are expected here.
churn() {
	rounds=0
	while [ -e /tmp/fuzzing ]; do
		rounds=$((rounds + 1))
		kit load "$rounds" 2> /dev/null || true
		for pair in my_dht11:dht11 my_sr501:sr501 my_sg90:sg90; do
			echo "${pair#*:}" 2> /dev/null > "$drivers/${pair%%:*}/unbind" || true
			echo "${pair#*:}" 2> /dev/null > "$drivers/${pair%%:*}/bind" || true
		done
		pir 1
		pir 0
		kit unload $((rounds * 2 + 1)) 2> /dev/null || true
		echo "$rounds" > /tmp/churn.rounds
	done
}

# Seconds since boot in $now, without starting a process.
clock() {
	read -r now _ < /proc/uptime
	now=${now%.*}
}

# Whether process PID runs still (an unreaped child ends as a zombie).
running() {
	read -r _ _ state _ 2> /dev/null < "/proc/$1/stat" && [ "$state" != Z ]
}

# Gives process PID, which runs NAME, until DEADLINE (seconds since boot)
# to end: from outside, as a watchdog of its own cannot run while it spins
# or sleeps uninterruptibly in the kernel. One still running then is hung:
# where it is in the kernel is shown, and it is killed. Its stack stays
# empty on 32-bit ARM with two CPUs, whose kernel unwinds no other task's;
# the function it waits in and its system call (number and arguments)
# still say where.
watchdog() {
	while running "$1"; do
		clock
		if [ "$now" -ge "$3" ]; then
			echo "fuzz: $2 (process $1) hung, in the kernel at $(cat "/proc/$1/wchan")," \
				"system call $(cat "/proc/$1/syscall")"
			sed 's/^/fuzz:   /' "/proc/$1/stack"
			kill -KILL "$1" || true
			return 1
		fi
		sleep 1
	done
}

# Processes in uninterruptible sleep, but for the kernel's own threads:
# "NAME (process PID) at WCHAN".
stuck() {
	for status in /proc/[0-9]*/status; do
		if grep -q '^State:[[:space:]]*D' "$status" 2> /dev/null &&
			! grep -q '^Kthread:[[:space:]]*1' "$status" 2> /dev/null; then
			pid=${status#/proc/}
			pid=${pid%/status}
			echo "$(sed -n 's/^Name:[[:space:]]*//p' "$status") (process $pid)" \
				"at $(cat "/proc/$pid/wchan" 2> /dev/null)"
		fi
	done
}

checkers start
touch /tmp/fuzzing
churn &
churner=$!
fuzzers=
for seed in $seeds; do
	echo "fuzz: node_fuzz seed $seed, $operations operations"
	node_fuzz "$seed" "$operations" > "/tmp/fuzz.$seed" 2>&1 &
	fuzzers="$fuzzers $!"
done
clock
started=$now
hung=0
for pid in $fuzzers; do
	watchdog "$pid" node_fuzz $((started + fuzz_limit_s)) || hung=$((hung + 1))
done
clock
echo "fuzz: the fuzzers ran for $((now - started)) s"
rm /tmp/fuzzing
watchdog "$churner" "the loading loop" $((now + churn_limit_s)) || hung=$((hung + 1))
# Before any wait, which a process stuck in the kernel would hold for ever.
stuck > /tmp/stuck
failed=0
for pid in $fuzzers; do
	if running "$pid"; then
		failed=$((failed + 1))
	else
		wait "$pid" || failed=$((failed + 1))
	fi
done
kit unload 2> /dev/null || true
cat /tmp/fuzz.*
echo "fuzz: $(cat /tmp/churn.rounds 2> /dev/null) rounds of loading and binding meanwhile"
echo "fuzz: $hung processes hung"
echo "fuzz: $(wc -l < /tmp/stuck) processes stuck"
sed 's/^/fuzz: stuck: /' /tmp/stuck
echo "fuzz: $failed fuzzers failed"
klog > /dev/null

checkers report fuzz
[ "$failed" -eq 0 ] && [ "$hung" -eq 0 ] && [ ! -s /tmp/stuck ]
