// SPDX-License-Identifier: GPL-2.0
/*
 * SG90 hobby servo on one PWM channel. A one-byte write to /dev/sg90 is the
 * angle in degrees; it sets the pulse width within a 20 ms period.
 */
#include <linux/device.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/kdev_t.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/of.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/uaccess.h>

#include "sensorkit_compat.h"

#define SG90_NAME		"sg90"
#define SG90_CLASS_NAME		"sg90_class"

#define SG90_PERIOD_NS		20000000
/* 0.5 ms at 0 degrees, 2.5 ms at 180 degrees; larger angles are not clamped. */
#define SG90_DUTY_0DEG_NS	500000
#define SG90_DUTY_SPAN_NS	2000000
#define SG90_SPAN_DEG		180

static int major;
static struct class *class;

/* The channel held while bound; the lock keeps writes off a released one. */
static struct pwm_device *pwm_test;
static DEFINE_MUTEX(sg90_lock);

static unsigned int sg90_duty_ns(unsigned char angle)
{
	return SG90_DUTY_0DEG_NS + angle * SG90_DUTY_SPAN_NS / SG90_SPAN_DEG;
}

static int sg90_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int sg90_release(struct inode *inode, struct file *file)
{
	return 0;
}

/* 1 for the byte taken, as callers expect, or why the channel refused it. */
static ssize_t sg90_write(struct file *file, const char __user *buf,
			  size_t count, loff_t *ppos)
{
	unsigned char angle;
	ssize_t ret;

	if (count == 0)
		return 0;
	if (count != 1)
		return -EINVAL;
	if (copy_from_user(&angle, buf, 1))
		return -EFAULT;

	mutex_lock(&sg90_lock);
	if (pwm_test)
		ret = pwm_config(pwm_test, sg90_duty_ns(angle), SG90_PERIOD_NS) ?: 1;
	else
		ret = -ENODEV;
	mutex_unlock(&sg90_lock);
	return ret;
}

static const struct file_operations sg90_ops = {
	.owner = THIS_MODULE,
	.write = sg90_write,
	.open = sg90_open,
	.release = sg90_release,
};

static int sg90_set_normal_polarity(struct pwm_device *pwm)
{
	int ret = sk_pwm_set_polarity(pwm, PWM_POLARITY_NORMAL);

	/* No polarity operation (4.1's pwm-imx): the output is normal already. */
	if (ret == -ENOSYS)
		return 0;

	/*
	 * 4.1 sets the polarity of a stopped output only, and a servo unbound
	 * before, or started by the boot loader, is still running.
	 */
	if (ret == -EBUSY) {
		pwm_disable(pwm);
		ret = sk_pwm_set_polarity(pwm, PWM_POLARITY_NORMAL);
	}
	return ret;
}

/* 0 degrees, normal polarity, running; the first step refused fails it. */
static int sg90_start(struct pwm_device *pwm)
{
	int ret;

	ret = pwm_config(pwm, SG90_DUTY_0DEG_NS, SG90_PERIOD_NS);
	if (!ret)
		ret = sg90_set_normal_polarity(pwm);
	if (!ret)
		ret = pwm_enable(pwm);
	return ret;
}

static int sg90_probe(struct platform_device *pdev)
{
	struct pwm_device *pwm;
	int ret = 0;

	/* The message keeps its space before the line end. */
	printk(KERN_DEFAULT "%s\n", "sg90 match success ");
	if (!pdev->dev.of_node) {
		pr_err(" pwm_test of_get_next_child  error!!\n");
		return -1;
	}

	mutex_lock(&sg90_lock);
	/* One servo per module: a second node must not take over the first. */
	if (pwm_test) {
		ret = -EBUSY;
		goto unlock;
	}
	pwm = devm_pwm_get(&pdev->dev, NULL);
	/* Not there yet: the driver core tries again when its provider comes. */
	if (pwm == ERR_PTR(-EPROBE_DEFER)) {
		ret = -EPROBE_DEFER;
		goto unlock;
	}
	if (IS_ERR(pwm)) {
		pr_err(" pwm_test,get pwm  error!!\n");
		ret = -1;
		goto unlock;
	}
	/* A refused step leaves no channel: the managed one goes with the probe. */
	ret = sg90_start(pwm);
	if (ret) {
		pr_err(KBUILD_MODNAME ": starting the PWM channel failed: %d\n",
		       ret);
		goto unlock;
	}
	pwm_test = pwm;
unlock:
	mutex_unlock(&sg90_lock);
	return ret;
}

static SK_PLATFORM_REMOVE_TYPE sg90_remove(struct platform_device *pdev)
{
	mutex_lock(&sg90_lock);
	pwm_config(pwm_test, SG90_DUTY_0DEG_NS, SG90_PERIOD_NS);
	/* Device-managed: the channel is released once, after remove returns. */
	pwm_test = NULL;
	mutex_unlock(&sg90_lock);
	return SK_PLATFORM_REMOVE_RESULT;
}

static const struct of_device_id sg90_of_match[] = {
	{ .compatible = "hc-sg90" },
	{ }
};
MODULE_DEVICE_TABLE(of, sg90_of_match);

static struct platform_driver sg90_platform_driver = {
	.probe = sg90_probe,
	.remove = sg90_remove,
	.driver = {
		.name = "my_sg90",
		.of_match_table = sg90_of_match,
	},
};

static int __init sg90_init(void)
{
	struct device *dev;
	int ret;

	major = register_chrdev(0, SG90_NAME, &sg90_ops);
	if (major < 0) {
		pr_err(KBUILD_MODNAME ": register_chrdev failed: %d\n", major);
		return major;
	}

	class = sk_class_create(SG90_CLASS_NAME);
	if (IS_ERR(class)) {
		ret = PTR_ERR(class);
		pr_err(KBUILD_MODNAME ": class_create failed: %d\n", ret);
		goto err_unregister_chrdev;
	}

	dev = device_create(class, NULL, MKDEV(major, 0), NULL, SG90_NAME);
	if (IS_ERR(dev)) {
		ret = PTR_ERR(dev);
		pr_err(KBUILD_MODNAME ": device_create failed: %d\n", ret);
		goto err_destroy_class;
	}

	ret = platform_driver_register(&sg90_platform_driver);
	if (ret) {
		pr_err(KBUILD_MODNAME ": platform_driver_register failed: %d\n",
		       ret);
		goto err_destroy_device;
	}
	return 0;

err_destroy_device:
	device_destroy(class, MKDEV(major, 0));
err_destroy_class:
	class_destroy(class);
err_unregister_chrdev:
	unregister_chrdev(major, SG90_NAME);
	return ret;
}

static void __exit sg90_exit(void)
{
	platform_driver_unregister(&sg90_platform_driver);
	device_destroy(class, MKDEV(major, 0));
	class_destroy(class);
	unregister_chrdev(major, SG90_NAME);
}

module_init(sg90_init);
module_exit(sg90_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("SG90 hobby servo on a PWM channel");
