/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_DEVICE_H
#define _LINUX_DEVICE_H

#include <linux/types.h>
#include <linux/kernel.h>
#include <linux/err.h>
#include <linux/kdev_t.h>
#include <linux/sysfs.h>

struct module;
struct device_node;
struct device;
struct device_driver;
struct lock_class_key;

struct KSIM_CLASS {
	const char *name;
	struct module *owner;
};

/* What makes a bus a bus for the driver core: it matches, probes, removes. */
struct bus_type {
	const char *name;
	int (*match)(struct device *dev, struct device_driver *drv);
	int (*probe)(struct device *dev);
	int (*remove)(struct device *dev);
};

struct device_driver {
	const char *name;
	struct bus_type *bus;
	struct module *owner;
	const struct of_device_id *of_match_table;
};

struct device {
	const char *init_name;
	struct device *parent;
	struct bus_type *bus;
	struct device_driver *driver;
	struct device_node *of_node;
	dev_t devt;
	struct KSIM_CLASS *KSIM_CLASS;
	void *driver_data;
};

struct device_attribute {
	struct attribute attr;
	ssize_t (*show)(struct device *dev, struct device_attribute *attr,
			char *buf);
};

#define DEVICE_ATTR_RO(_name) \
	struct device_attribute dev_attr_##_name = __ATTR_RO(_name)

static inline void *dev_get_drvdata(const struct device *dev)
{
	return dev->driver_data;
}

static inline void dev_set_drvdata(struct device *dev, void *data)
{
	dev->driver_data = data;
}

KSIM_BEGIN_DECLS
struct KSIM_CLASS *__must_check __class_create(struct module *owner,
					       const char *name,
					       struct lock_class_key *key);
void class_destroy(struct KSIM_CLASS *cls);
__printf(5, 6) struct device *device_create(struct KSIM_CLASS *cls,
					    struct device *parent, dev_t devt,
					    void *drvdata, const char *fmt, ...);
void device_destroy(struct KSIM_CLASS *cls, dev_t devt);
KSIM_END_DECLS

#define class_create(owner, name) __class_create(owner, name, NULL)

#endif
