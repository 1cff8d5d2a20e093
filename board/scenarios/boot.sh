# Nothing but the boot, for the boot-time benchmark.
echo "guest uptime at init: $(cut -d' ' -f1 /proc/uptime) s"
