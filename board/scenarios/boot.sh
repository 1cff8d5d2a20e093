# The boot, for the boot-time benchmark: init, then the kit's modules loaded
# and light_poll's first reading on the console.
echo "guest uptime at init: $(cut -d' ' -f1 /proc/uptime) s"
kit load
light_poll &
sleep 1
kill $!
