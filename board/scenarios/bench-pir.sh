# For the benchmark board/bench-pir: motion_drv on the simulated PIR line,
# and pir_latency pulling the line a few hundred times and timing each
# notification.
insmod /lib/modules/motion_drv.ko
pull=$(pir-pull)
pir_latency "$pull" 500 "$board_tick_us"
rmmod motion_drv
