/* SPDX-License-Identifier: GPL-2.0 */
#ifndef __LINUX_PWM_H
#define __LINUX_PWM_H

#include <linux/types.h>
#include <linux/err.h>

struct device;
struct device_node;

enum pwm_polarity {
	PWM_POLARITY_NORMAL,
	PWM_POLARITY_INVERSED,
};

/* One channel of the board's controller; its state lives in the model. */
struct pwm_device {
	unsigned int pwm;
};

KSIM_BEGIN_DECLS
int pwm_config(struct pwm_device *pwm, int duty_ns, int period_ns);
int pwm_set_polarity(struct pwm_device *pwm, enum pwm_polarity polarity);
int pwm_enable(struct pwm_device *pwm);
void pwm_disable(struct pwm_device *pwm);
void pwm_free(struct pwm_device *pwm);

struct pwm_device *pwm_get(struct device *dev, const char *con_id);
struct pwm_device *of_pwm_get(struct device_node *np, const char *con_id);
void pwm_put(struct pwm_device *pwm);
/* Released by the driver core when the device is unbound. */
struct pwm_device *devm_pwm_get(struct device *dev, const char *con_id);
KSIM_END_DECLS

#endif
