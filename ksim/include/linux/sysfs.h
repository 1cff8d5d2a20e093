/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_SYSFS_H
#define _LINUX_SYSFS_H

#include <linux/types.h>
#include <linux/stringify.h>

#define S_IRUGO 0444
#define PAGE_SIZE 4096UL

struct attribute {
	const char *name;
	unsigned short mode;
};

struct attribute_group {
	const char *name;
	struct attribute **attrs;
};

#define __ATTR_RO(_name) { \
	.attr = { .name = __stringify(_name), .mode = S_IRUGO }, \
	.show = _name##_show, \
}

#define __ATTRIBUTE_GROUPS(_name) \
static const struct attribute_group *_name##_groups[] = { \
	&_name##_group, \
	NULL, \
}

#define ATTRIBUTE_GROUPS(_name) \
static const struct attribute_group _name##_group = { \
	.attrs = _name##_attrs, \
}; \
__ATTRIBUTE_GROUPS(_name)

#endif
