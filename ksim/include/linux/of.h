/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_OF_H
#define _LINUX_OF_H

#include <linux/types.h>
#include <linux/mod_devicetable.h>

/*
 * A device-tree node a test declared. Its properties live in the model
 * (ksim/model.hpp); drivers reach them through the of_* calls.
 */
struct device_node {
	const char *name;
	const char *full_name;
};

#endif
