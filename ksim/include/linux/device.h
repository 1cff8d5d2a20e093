/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_DEVICE_H
#define _LINUX_DEVICE_H

#include <linux/types.h>
#include <linux/kernel.h>
#include <linux/err.h>
#include <linux/kdev_t.h>

struct module;
struct device_node;
struct device;
struct lock_class_key;

struct KSIM_CLASS {
	const char *name;
	struct module *owner;
};

struct bus_type {
	const char *name;
};

struct device_driver {
	const char *name;
	struct bus_type *bus;
	struct module *owner;
	const struct of_device_id *of_match_table;
};

struct device {
	struct device *parent;
	const char *init_name;
	struct bus_type *bus;
	struct device_driver *driver;
	void *driver_data;
	struct device_node *of_node;
	dev_t devt;
	struct KSIM_CLASS *KSIM_CLASS;
};

KSIM_BEGIN_DECLS
struct KSIM_CLASS *__must_check __class_create(struct module *owner,
					       const char *name,
					       struct lock_class_key *key);
void class_destroy(struct KSIM_CLASS *cls);
__printf(5, 6) struct device *device_create(struct KSIM_CLASS *cls,
					    struct device *parent, dev_t devt,
					    void *drvdata, const char *fmt, ...);
void device_destroy(struct KSIM_CLASS *cls, dev_t devt);
const char *dev_name(const struct device *dev);
/* Runs the action when the device is unbound or its probe fails. */
int devm_add_action(struct device *dev, void (*action)(void *), void *data);
KSIM_END_DECLS

#define class_create(owner, name) __class_create(owner, name, NULL)

static inline void *dev_get_drvdata(const struct device *dev)
{
	return dev->driver_data;
}

static inline void dev_set_drvdata(struct device *dev, void *data)
{
	dev->driver_data = data;
}

#define dev_printk(level, dev, fmt, ...) \
	printk(level "%s: " fmt, dev_name(dev), ##__VA_ARGS__)
#define dev_err(dev, fmt, ...) dev_printk(KERN_ERR, dev, fmt, ##__VA_ARGS__)
#define dev_warn(dev, fmt, ...) dev_printk(KERN_WARNING, dev, fmt, ##__VA_ARGS__)
#define dev_info(dev, fmt, ...) dev_printk(KERN_INFO, dev, fmt, ##__VA_ARGS__)
#define dev_dbg(dev, fmt, ...) \
	do { if (0) dev_printk(KERN_DEBUG, dev, fmt, ##__VA_ARGS__); } while (0)

#endif
