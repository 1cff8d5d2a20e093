/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_I2C_H
#define _LINUX_I2C_H

#include <linux/types.h>
#include <linux/device.h>
#include <linux/mod_devicetable.h>

struct module;

/* A numbered bus the model owns; tests add them (ksim/model.hpp). */
struct i2c_adapter {
	int nr;
	struct device dev;
};

struct i2c_client {
	unsigned short addr;
	char name[I2C_NAME_SIZE];
	struct i2c_adapter *adapter;
	struct device dev;
};

struct i2c_board_info {
	char type[I2C_NAME_SIZE];
	unsigned short addr;
	struct device_node *of_node;
};

#define I2C_BOARD_INFO(dev_type, dev_addr) \
	.type = dev_type, .addr = (dev_addr)

/* Only what the kit's drivers set; no detection, no alerts. */
struct i2c_driver {
	int (*probe)(struct i2c_client *client, const struct i2c_device_id *id);
	int (*remove)(struct i2c_client *client);
	struct device_driver driver;
	const struct i2c_device_id *id_table;
};

KSIM_BEGIN_DECLS
struct i2c_adapter *i2c_get_adapter(int nr);
void i2c_put_adapter(struct i2c_adapter *adap);
struct i2c_client *i2c_new_device(struct i2c_adapter *adap,
				  struct i2c_board_info const *info);
void i2c_unregister_device(struct i2c_client *client);
int i2c_register_driver(struct module *owner, struct i2c_driver *driver);
void i2c_del_driver(struct i2c_driver *driver);
s32 i2c_smbus_write_byte_data(const struct i2c_client *client, u8 command,
			      u8 value);
s32 i2c_smbus_read_word_data(const struct i2c_client *client, u8 command);
KSIM_END_DECLS

#define i2c_add_driver(driver) i2c_register_driver(THIS_MODULE, driver)

#endif
