/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_GPIO_H
#define _KSIM_LINUX_GPIO_H

#include <linux/errno.h>
#include <linux/gpio/consumer.h>

#define GPIOF_DIR_IN	(1 << 0)
#define GPIOF_INIT_HIGH	(1 << 1)
#define GPIOF_IN	(GPIOF_DIR_IN)

KSIM_BEGIN_DECLS
int gpio_request_one(unsigned int gpio, unsigned long flags, const char *label);
void gpio_free(unsigned int gpio);
KSIM_END_DECLS

#endif
