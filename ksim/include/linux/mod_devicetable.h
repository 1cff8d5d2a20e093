/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_MOD_DEVICETABLE_H
#define _LINUX_MOD_DEVICETABLE_H

#include <linux/types.h>

struct of_device_id {
	char name[32];
	char type[32];
	char compatible[128];
	const void *data;
};

#define I2C_NAME_SIZE 20

struct i2c_device_id {
	char name[I2C_NAME_SIZE];
	unsigned long driver_data;
};

#endif
