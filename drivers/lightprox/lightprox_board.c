// SPDX-License-Identifier: GPL-2.0
/*
 * Declares the AP3216C on I2C adapter 0 for boards whose device tree does
 * not describe it; the I2C core then binds lightprox_drv to the client.
 */
#include <linux/err.h>
#include <linux/errno.h>
#include <linux/i2c.h>
#include <linux/module.h>
#include <linux/printk.h>

#include "sensorkit_compat.h"

#define AP3216_I2C_BUS	0
#define AP3216_I2C_ADDR	0x1e

static struct i2c_client *client;

static int __init lightprox_board_init(void)
{
	struct i2c_board_info info = {
		I2C_BOARD_INFO("ap3216c", AP3216_I2C_ADDR),
	};
	struct i2c_adapter *adapter;
	struct i2c_client *new_client;

	adapter = i2c_get_adapter(AP3216_I2C_BUS);
	if (!adapter) {
		pr_err("%s failed to get i2c adapter %d.\n", __func__,
		       AP3216_I2C_BUS);
		return -1;
	}
	new_client = sk_i2c_new_device(adapter, &info);
	i2c_put_adapter(adapter);

	/* Fails when the address is taken, e.g. by a device-tree node. */
	if (IS_ERR_OR_NULL(new_client))
		return new_client ? PTR_ERR(new_client) : -ENODEV;
	client = new_client;
	return 0;
}

static void __exit lightprox_board_exit(void)
{
	i2c_unregister_device(client);
}

module_init(lightprox_board_init);
module_exit(lightprox_board_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("AP3216C client on I2C adapter 0");
