// SPDX-License-Identifier: GPL-2.0
/* A module that unloads with its interrupt still requested and its timer armed. */
#include <linux/module.h>
#include <linux/gpio.h>
#include <linux/interrupt.h>
#include <linux/timer.h>

static struct timer_list leaked_timer;

static irqreturn_t leaky_handler(int irq, void *dev_id)
{
	return IRQ_HANDLED;
}

static void leaky_expiry(unsigned long data)
{
}

static int __init leaky_init(void)
{
	setup_timer(&leaked_timer, leaky_expiry, 0);
	leaked_timer.expires = jiffies + 10;
	add_timer(&leaked_timer);
	return request_irq(gpiod_to_irq(gpio_to_desc(6)), leaky_handler,
			   IRQF_TRIGGER_RISING, "leaky", NULL);
}

static void __exit leaky_exit(void)
{
}

module_init(leaky_init);
module_exit(leaky_exit);
MODULE_LICENSE("GPL");
