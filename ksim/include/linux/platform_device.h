/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_PLATFORM_DEVICE_H
#define _LINUX_PLATFORM_DEVICE_H

#include <linux/device.h>
#include <linux/mod_devicetable.h>

struct platform_device {
	const char *name;
	int id;
	struct device dev;
};

#define to_platform_device(x) container_of((x), struct platform_device, dev)

struct platform_driver {
	int (*probe)(struct platform_device *);
	int (*remove)(struct platform_device *);
	void (*shutdown)(struct platform_device *);
	struct device_driver driver;
	const struct platform_device_id *id_table;
	bool prevent_deferred_probe;
};

KSIM_BEGIN_DECLS
int __platform_driver_register(struct platform_driver *drv,
			       struct module *owner);
void platform_driver_unregister(struct platform_driver *drv);
KSIM_END_DECLS

#define platform_driver_register(drv) __platform_driver_register(drv, THIS_MODULE)

static inline void *platform_get_drvdata(const struct platform_device *pdev)
{
	return dev_get_drvdata(&pdev->dev);
}

static inline void platform_set_drvdata(struct platform_device *pdev,
					void *data)
{
	dev_set_drvdata(&pdev->dev, data);
}

#endif
