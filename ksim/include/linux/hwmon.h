/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _HWMON_H_
#define _HWMON_H_

#include <linux/device.h>

KSIM_BEGIN_DECLS
struct device *
hwmon_device_register_with_groups(struct device *dev, const char *name,
				  void *drvdata,
				  const struct attribute_group **groups);
struct device *
devm_hwmon_device_register_with_groups(struct device *dev, const char *name,
				       void *drvdata,
				       const struct attribute_group **groups);
void hwmon_device_unregister(struct device *dev);
KSIM_END_DECLS

#endif
