# sensor_panel on the board's own screen: Qt's linuxfb platform on the
# virtio GPU's framebuffer, the virtio tablet through Qt's evdev mouse, and
# the panel listening on $board_serial. The host (screen-panel.host) sends
# frames, takes a screenshot through QEMU's monitor and clicks the slider's
# track there; the panel drives the servo to the clicked angle. Waits on
# the host have no deadline here: the guest's clock jumps while it idles,
# and the host's own deadlines bound them.
kit load
export QT_QPA_PLATFORM=linuxfb:fb=/dev/fb0
export XDG_RUNTIME_DIR=/tmp/runtime
export QT_QPA_FB_NO_LIBINPUT=1
export QT_QPA_GENERIC_PLUGINS=evdevmouse:/dev/input/event0:abs
: > /tmp/panel.out
sensor_panel --port "$board_serial" > /tmp/panel.out 2>&1 &
until grep -q '^uart_recv$' /tmp/panel.out; do sleep 0.1; done
echo "screen: the panel listens"
until grep -q '^module = pir, value = 1}$' /tmp/panel.out; do sleep 0.1; done
grep '^module = ' /tmp/panel.out | sed 's/^/screen: /'
echo "screen: the frames are shown"
until grep -q '^module = step, value = tapped}$' /tmp/panel.out; do sleep 0.1; done
duty=$(servo-state | sed -n 's/.* duty: \([0-9]*\) ns.*/\1/p')
echo "screen: servo duty $duty ns"
echo "screen: servo at $((((duty - 500000) * 9 + 50000) / 100000)) degrees"
# The host still looks at the screen; the panel stays until it is done.
until grep -q '^module = step, value = done}$' /tmp/panel.out; do sleep 0.1; done
kill %1
kit unload
