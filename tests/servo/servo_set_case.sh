#!/usr/bin/env bash
# Runs servo_set once in a private mount namespace whose /dev holds only a
# stand-in for its node, then checks the bytes written, the output and the
# exit status.
#
# usage: servo_set_case.sh SERVO_SET [--node fifo|full|none] [--status N]
#            [--bytes HEX] [--stdout TEXT] [--stderr GLOB] -- ARG...
#   fifo  a FIFO whose reader records every byte (the default)
#   full  the kernel's "full" device: every write fails with ENOSPC
#   none  no node at all
# Unset --stdout and --stderr mean the stream must stay empty.
set -euo pipefail

if [ -z "${SERVO_SET_CASE_IN_NS:-}" ]; then
	SERVO_SET_CASE_IN_NS=1 exec unshare --mount --propagation private -- "$0" "$@"
fi

prog=$1
shift
node=fifo want_status=0 want_bytes='' want_out='' want_err=''
while [ $# -gt 0 ]; do
	case $1 in
	--node) node=$2; shift 2 ;;
	--status) want_status=$2; shift 2 ;;
	--bytes) want_bytes=$2; shift 2 ;;
	--stdout) want_out=$2$'\n'; shift 2 ;;
	--stderr) want_err=$2; shift 2 ;;
	--) shift; break ;;
	*) echo "servo_set_case: unknown option $1" >&2; exit 2 ;;
	esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
: >"$work/written"

mount -t tmpfs sensorkit-dev /dev
reader=''
case $node in
fifo)
	mkfifo /dev/sg90
	timeout 10 cat /dev/sg90 >"$work/written" &
	reader=$!
	;;
full) mknod /dev/sg90 c 1 7 ;;
none) ;;
*) echo "servo_set_case: unknown node kind $node" >&2; exit 2 ;;
esac

status=0
timeout 10 "$prog" "$@" >"$work/out" 2>"$work/err" || status=$?
[ -z "$reader" ] || wait "$reader"

got_bytes=$(od -An -tx1 -v "$work/written" | tr -d ' \n')
got_out=$(cat "$work/out"; echo .)
got_out=${got_out%.}
got_err=$(cat "$work/err")

failed=0
check() {
	echo "$1: expected [$2], got [$3]" >&2
	failed=1
}
[ "$status" = "$want_status" ] || check "exit status" "$want_status" "$status"
[ "$got_bytes" = "$want_bytes" ] || check "bytes written" "$want_bytes" "$got_bytes"
[ "$got_out" = "$want_out" ] || check "standard output" "$want_out" "$got_out"
if [ -z "$want_err" ]; then
	[ -z "$got_err" ] || check "standard error" "" "$got_err"
else
	# shellcheck disable=SC2053 # the expectation is a glob
	[[ $got_err == $want_err ]] || check "standard error" "$want_err" "$got_err"
fi
exit $failed
