# servo_drv on the test PWM provider: the bound channel, servo_set's angles
# and the release at unbind, as the PWM core reports them.
insmod /lib/modules/servo_drv.ko
klog
ls -1d /dev/sg90 /sys/class/sg90_class/sg90
echo "bound: $(servo-state)"
servo_set 90
echo "after 90: $(servo-state)"
servo_set 255
echo "after 255: $(servo-state)"
echo sg90 > /sys/bus/platform/drivers/my_sg90/unbind
echo "after unbind: $(servo-state)"
rmmod servo_drv
[ ! -e /dev/sg90 ] && echo "unloaded: /dev/sg90 is gone"
