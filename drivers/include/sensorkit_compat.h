/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The few kernel interfaces that changed between the board's Linux 4.1 and
 * the Linux 6.1 of the virtual board. The 4.1 branch of each is the plain
 * 4.1 call; keep this file that small.
 */
#ifndef SENSORKIT_COMPAT_H
#define SENSORKIT_COMPAT_H

#include <linux/version.h>
#include <linux/timer.h>
#include <linux/uaccess.h>

/* Only the 6.x kernels announce their major version on its own. */
#if defined(LINUX_VERSION_MAJOR) && LINUX_VERSION_MAJOR >= 6
#define SK_LINUX_6 1
#endif

/* 5.0 dropped the access type argument. */
#ifdef SK_LINUX_6
#define sk_access_ok(type, addr, size) access_ok(addr, size)
#else
#define sk_access_ok(type, addr, size) access_ok(type, addr, size)
#endif

/*
 * 6.1 finds a node's PWM channel through its firmware node and sets the
 * polarity as part of a whole channel state.
 */
#ifdef SK_LINUX_6
#include <linux/of.h>
#include <linux/pwm.h>

static inline struct pwm_device *sk_devm_of_pwm_get(struct device *dev,
						     struct device_node *np,
						     const char *con_id)
{
	return devm_fwnode_pwm_get(dev, of_fwnode_handle(np), con_id);
}

static inline int sk_pwm_set_polarity(struct pwm_device *pwm,
				      enum pwm_polarity polarity)
{
	struct pwm_state state;

	pwm_get_state(pwm, &state);
	state.polarity = polarity;
	return pwm_apply_state(pwm, &state);
}
#else
#define sk_devm_of_pwm_get(dev, np, con_id) devm_of_pwm_get(dev, np, con_id)
#define sk_pwm_set_polarity(pwm, polarity) pwm_set_polarity(pwm, polarity)
#endif

/*
 * 5.2 replaced i2c_new_device, which returns NULL on failure, by
 * i2c_new_client_device, which returns an error pointer.
 */
#ifdef SK_LINUX_6
#define sk_i2c_new_device(adap, info) i2c_new_client_device(adap, info)
#else
#define sk_i2c_new_device(adap, info) i2c_new_device(adap, info)
#endif

/* 6.1 made the I2C remove callback return nothing. */
#ifdef SK_LINUX_6
#define SK_I2C_REMOVE_TYPE void
#define SK_I2C_REMOVE_RESULT
#else
#define SK_I2C_REMOVE_TYPE int
#define SK_I2C_REMOVE_RESULT 0
#endif

/*
 * 4.15 replaced the timer's data word by the timer itself as the callback's
 * argument. Callbacks take SK_TIMER_ARG and ignore it. Both are macros, so
 * that lockdep gets a lock class for each call site.
 */
#ifdef SK_LINUX_6
#define SK_TIMER_ARG struct timer_list *
#define sk_timer_setup(timer, function) timer_setup(timer, function, 0)
#else
#define SK_TIMER_ARG unsigned long
#define sk_timer_setup(timer, function) setup_timer(timer, function, 0)
#endif

#endif /* SENSORKIT_COMPAT_H */
