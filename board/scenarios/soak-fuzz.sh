# Two node_fuzz processes call the four nodes with random counts, offsets,
# buffers and flags while a loop loads, binds, unbinds and unloads the
# modules under them, on the debug kernel. Nothing the kernel's checkers
# see may be reported, each fuzzer must end cleanly (it fails on a call
# that hangs or answers out of bounds), and no process may be left stuck.
seeds="1209 2026"
operations=12000
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
	done
	echo "$rounds" > /tmp/churn.rounds
}

# Processes in uninterruptible sleep, but for the kernel's own threads.
stuck() {
	for status in /proc/[0-9]*/status; do
		if grep -q '^State:[[:space:]]*D' "$status" 2> /dev/null &&
			! grep -q '^Kthread:[[:space:]]*1' "$status" 2> /dev/null; then
			sed -n 's/^Name:[[:space:]]*//p' "$status"
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
failed=0
for pid in $fuzzers; do
	wait "$pid" || failed=$((failed + 1))
done
rm /tmp/fuzzing
wait "$churner"
kit unload 2> /dev/null || true
cat /tmp/fuzz.*
echo "fuzz: $(cat /tmp/churn.rounds) rounds of loading and binding meanwhile"
echo "fuzz: $failed fuzzers failed"
echo "fuzz: $(stuck | wc -l) processes stuck"
klog > /dev/null

checkers report fuzz
[ "$failed" -eq 0 ] && [ -z "$(stuck)" ]
