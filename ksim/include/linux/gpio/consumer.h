/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_GPIO_CONSUMER_H
#define _LINUX_GPIO_CONSUMER_H

#include <linux/types.h>

/* Owned by the model's GPIO lines; drivers only hold pointers. */
struct gpio_desc;

KSIM_BEGIN_DECLS
struct gpio_desc *gpio_to_desc(unsigned int gpio);
int gpiod_direction_input(struct gpio_desc *desc);
int gpiod_direction_output(struct gpio_desc *desc, int value);
int gpiod_direction_output_raw(struct gpio_desc *desc, int value);
int gpiod_get_raw_value(const struct gpio_desc *desc);
void gpiod_set_raw_value(struct gpio_desc *desc, int value);
int gpiod_get_value(const struct gpio_desc *desc);
int gpiod_get_value_cansleep(const struct gpio_desc *desc);
int gpiod_to_irq(const struct gpio_desc *desc);
KSIM_END_DECLS

#endif
