/* SPDX-License-Identifier: GPL-2.0 */
#ifndef __LINUX_PWM_H
#define __LINUX_PWM_H

#include <linux/types.h>
#include <linux/err.h>

struct device;
struct pwm_chip;
struct pwm_device;

enum pwm_polarity {
	PWM_POLARITY_NORMAL,
	PWM_POLARITY_INVERSED,
};

enum {
	PWMF_REQUESTED = 1 << 0,
	PWMF_ENABLED = 1 << 1,
};

/* A controller driver's operations in 4.1 (a missing one stays NULL). */
struct pwm_ops {
	int (*config)(struct pwm_chip *chip, struct pwm_device *pwm,
		      int duty_ns, int period_ns);
	int (*set_polarity)(struct pwm_chip *chip, struct pwm_device *pwm,
			    enum pwm_polarity polarity);
	int (*enable)(struct pwm_chip *chip, struct pwm_device *pwm);
	void (*disable)(struct pwm_chip *chip, struct pwm_device *pwm);
};

struct pwm_chip {
	const struct pwm_ops *ops;
};

/* One channel of the board's controller, as the 4.1 core keeps it. */
struct pwm_device {
	const char *label;
	unsigned long flags;
	unsigned int hwpwm;
	unsigned int pwm;
	struct pwm_chip *chip;
	unsigned int period;
	unsigned int duty_cycle;
	enum pwm_polarity polarity;
};

KSIM_BEGIN_DECLS
int pwm_config(struct pwm_device *pwm, int duty_ns, int period_ns);
int pwm_set_polarity(struct pwm_device *pwm, enum pwm_polarity polarity);
int pwm_enable(struct pwm_device *pwm);
void pwm_disable(struct pwm_device *pwm);
/* Released by the driver core when the device is unbound. */
struct pwm_device *devm_pwm_get(struct device *dev, const char *con_id);
KSIM_END_DECLS

#endif
