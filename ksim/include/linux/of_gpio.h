/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_OF_GPIO_H
#define _LINUX_OF_GPIO_H

#include <linux/of.h>
#include <linux/gpio.h>

enum of_gpio_flags {
	OF_GPIO_ACTIVE_LOW = 0x1,
};

KSIM_BEGIN_DECLS
int of_get_named_gpio_flags(struct device_node *np, const char *list_name,
			    int index, enum of_gpio_flags *flags);
KSIM_END_DECLS

static inline int of_get_named_gpio(struct device_node *np, const char *propname, int index)
{ return of_get_named_gpio_flags(np, propname, index, NULL); }

#endif
