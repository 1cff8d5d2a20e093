// SPDX-License-Identifier: GPL-2.0
/*
 * A module that leaves things behind: its init arms a timer, and the probe
 * of its I2C driver requests an interrupt that nothing frees.
 */
#include <linux/module.h>
#include <linux/gpio.h>
#include <linux/i2c.h>
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

static int leaky_probe(struct i2c_client *client, const struct i2c_device_id *id)
{
	return request_irq(gpiod_to_irq(gpio_to_desc(6)), leaky_handler,
			   IRQF_TRIGGER_RISING, "leaky", NULL);
}

static int leaky_remove(struct i2c_client *client)
{
	return 0;
}

static const struct i2c_device_id leaky_id[] = {
	{ "leaky", 0 },
	{ }
};

static struct i2c_driver leaky_driver = {
	.driver = { .name = "leaky" },
	.probe = leaky_probe,
	.remove = leaky_remove,
	.id_table = leaky_id,
};

static int __init leaky_init(void)
{
	setup_timer(&leaked_timer, leaky_expiry, 0);
	leaked_timer.expires = jiffies + 10;
	add_timer(&leaked_timer);
	return i2c_add_driver(&leaky_driver);
}

static void __exit leaky_exit(void)
{
	i2c_del_driver(&leaky_driver);
}

module_init(leaky_init);
module_exit(leaky_exit);
MODULE_LICENSE("GPL");
