/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_PLATFORM_DEVICE_H
#define _LINUX_PLATFORM_DEVICE_H

#include <linux/device.h>
#include <linux/mod_devicetable.h>

struct platform_device {
	const char *name;
	struct device dev;
};

struct platform_driver {
	int (*probe)(struct platform_device *);
	int (*remove)(struct platform_device *);
	struct device_driver driver;
};

KSIM_BEGIN_DECLS
int __platform_driver_register(struct platform_driver *drv,
			       struct module *owner);
void platform_driver_unregister(struct platform_driver *drv);
KSIM_END_DECLS

#define platform_driver_register(drv) __platform_driver_register(drv, THIS_MODULE)

#endif
