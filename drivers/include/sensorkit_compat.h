/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The kernel interfaces the kit uses that changed between the board's Linux
 * 4.1 and Linux 6.12, each chosen at the release that changed it. The other
 * branch of each is the plain 4.1 call; keep this file that small.
 */
#ifndef SENSORKIT_COMPAT_H
#define SENSORKIT_COMPAT_H

#include <linux/version.h>
#include <linux/device.h>
#include <linux/iio/iio.h>
#include <linux/pwm.h>
#include <linux/timer.h>
#include <linux/uaccess.h>

/*
 * 4.14 added timer_setup(), whose callbacks take the timer itself instead
 * of a data word. Callbacks take SK_TIMER_ARG and ignore it. Both are
 * macros, so that lockdep gets a lock class for each call site.
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 14, 0)
#define SK_TIMER_ARG struct timer_list *
#define sk_timer_setup(timer, function) timer_setup(timer, function, 0)
#else
#define SK_TIMER_ARG unsigned long
#define sk_timer_setup(timer, function) setup_timer(timer, function, 0)
#endif

/* 5.0 dropped access_ok()'s access type. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 0, 0)
#define sk_access_ok(type, addr, size) access_ok(addr, size)
#else
#define sk_access_ok(type, addr, size) access_ok(type, addr, size)
#endif

/*
 * 4.7 made a channel's polarity part of its whole state, applied at once;
 * 6.8 renamed the call that applies it.
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 8, 0)
#define sk_pwm_apply_state(pwm, state) pwm_apply_might_sleep(pwm, state)
#else
#define sk_pwm_apply_state(pwm, state) pwm_apply_state(pwm, state)
#endif

#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 7, 0)
static inline int sk_pwm_set_polarity(struct pwm_device *pwm,
				      enum pwm_polarity polarity)
{
	struct pwm_state state;

	pwm_get_state(pwm, &state);
	state.polarity = polarity;
	return sk_pwm_apply_state(pwm, &state);
}
#else
#define sk_pwm_set_polarity(pwm, polarity) pwm_set_polarity(pwm, polarity)
#endif

/*
 * 5.5 added i2c_new_client_device(), which returns an error pointer where
 * i2c_new_device() returned NULL (5.8 dropped that one).
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 5, 0)
#define sk_i2c_new_device(adap, info) i2c_new_client_device(adap, info)
#else
#define sk_i2c_new_device(adap, info) i2c_new_device(adap, info)
#endif

/* 6.1 made the I2C remove callback return nothing. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 1, 0)
#define SK_I2C_REMOVE_TYPE void
#define SK_I2C_REMOVE_RESULT
#else
#define SK_I2C_REMOVE_TYPE int
#define SK_I2C_REMOVE_RESULT 0
#endif

/* 6.3 dropped the matched id from the I2C probe callback. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 3, 0)
#define SK_I2C_PROBE_ARGS struct i2c_client *client
#else
#define SK_I2C_PROBE_ARGS struct i2c_client *client, \
	const struct i2c_device_id *id
#endif

/* 6.4 dropped class_create()'s owner: the class is the module's anyway. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 4, 0)
#define sk_class_create(name) class_create(name)
#else
#define sk_class_create(name) class_create(THIS_MODULE, name)
#endif

/* 6.11 made the platform remove callback return nothing. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
#define SK_PLATFORM_REMOVE_TYPE void
#define SK_PLATFORM_REMOVE_RESULT
#else
#define SK_PLATFORM_REMOVE_TYPE int
#define SK_PLATFORM_REMOVE_RESULT 0
#endif

/*
 * The IIO core came to take a device's owner from its registration, which
 * became a macro passing THIS_MODULE; until then (4.1 among them) the
 * device's info names it.
 */
#ifdef devm_iio_device_register
#define SK_IIO_INFO_OWNER
#else
#define SK_IIO_INFO_OWNER .driver_module = THIS_MODULE,
#endif

#endif /* SENSORKIT_COMPAT_H */
