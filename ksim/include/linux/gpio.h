/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_GPIO_H
#define _KSIM_LINUX_GPIO_H

#include <linux/errno.h>
#include <linux/gpio/consumer.h>

#define ARCH_NR_GPIOS 512

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
