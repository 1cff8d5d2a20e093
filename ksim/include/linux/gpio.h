/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_GPIO_H
#define _KSIM_LINUX_GPIO_H

#include <linux/errno.h>
#include <linux/gpio/consumer.h>

#define ARCH_NR_GPIOS 512

#define GPIOF_DIR_OUT	(0 << 0)
#define GPIOF_DIR_IN	(1 << 0)
#define GPIOF_INIT_LOW	(0 << 1)
#define GPIOF_INIT_HIGH	(1 << 1)
#define GPIOF_IN		(GPIOF_DIR_IN)
#define GPIOF_OUT_INIT_LOW	(GPIOF_DIR_OUT | GPIOF_INIT_LOW)
#define GPIOF_OUT_INIT_HIGH	(GPIOF_DIR_OUT | GPIOF_INIT_HIGH)

KSIM_BEGIN_DECLS
int gpio_request_one(unsigned int gpio, unsigned long flags, const char *label);
void gpio_free(unsigned int gpio);
KSIM_END_DECLS

static inline bool gpio_is_valid(int number)
{
	return number >= 0 && number < ARCH_NR_GPIOS;
}

static inline int gpio_get_value(unsigned int gpio)
{
	return gpiod_get_raw_value(gpio_to_desc(gpio));
}

static inline void gpio_set_value(unsigned int gpio, int value)
{
	gpiod_set_raw_value(gpio_to_desc(gpio), value);
}

static inline int gpio_direction_input(unsigned int gpio)
{
	return gpiod_direction_input(gpio_to_desc(gpio));
}

static inline int gpio_direction_output(unsigned int gpio, int value)
{
	return gpiod_direction_output_raw(gpio_to_desc(gpio), value);
}

#endif
