// SPDX-License-Identifier: GPL-2.0
/*
 * A small module for the model's own tests: one node, "echo", that keeps
 * the last byte written and reads it back, and a platform driver for
 * "test,echo" nodes whose probe result a test chooses.
 */
#include <linux/module.h>
#include <linux/fs.h>
#include <linux/device.h>
#include <linux/platform_device.h>
#include <linux/uaccess.h>

#include "echo_drv.h"

int echo_probe_result;
int echo_probes;
int echo_removes;

static int major;
static struct class *echo_class;
static char last;

static ssize_t echo_read(struct file *file, char __user *buf, size_t size,
			 loff_t *off)
{
	if (copy_to_user(buf, &last, 1))
		return -EFAULT;
	return 1;
}

static ssize_t echo_write(struct file *file, const char __user *buf,
			  size_t size, loff_t *off)
{
	if (copy_from_user(&last, buf, 1))
		return -EFAULT;
	return 1;
}

static const struct file_operations echo_ops = {
	.owner = THIS_MODULE,
	.read = echo_read,
	.write = echo_write,
};

static int echo_probe(struct platform_device *pdev)
{
	echo_probes++;
	return echo_probe_result;
}

static int echo_remove(struct platform_device *pdev)
{
	echo_removes++;
	return 0;
}

static const struct of_device_id echo_of_match[] = {
	{ .compatible = "test,echo" },
	{ },
};

static struct platform_driver echo_driver = {
	.probe = echo_probe,
	.remove = echo_remove,
	.driver = {
		.name = "echo",
		.of_match_table = echo_of_match,
	},
};

static int __init echo_init(void)
{
	int ret;

	major = register_chrdev(0, "echo", &echo_ops);
	if (major < 0)
		return major;
	echo_class = class_create(THIS_MODULE, "echo_class");
	if (IS_ERR(echo_class)) {
		ret = PTR_ERR(echo_class);
		goto err_class;
	}
	device_create(echo_class, NULL, MKDEV(major, 0), NULL, "echo");
	ret = platform_driver_register(&echo_driver);
	if (ret)
		goto err_driver;
	return 0;

err_driver:
	device_destroy(echo_class, MKDEV(major, 0));
	class_destroy(echo_class);
err_class:
	unregister_chrdev(major, "echo");
	return ret;
}

static void __exit echo_exit(void)
{
	platform_driver_unregister(&echo_driver);
	device_destroy(echo_class, MKDEV(major, 0));
	class_destroy(echo_class);
	unregister_chrdev(major, "echo");
}

module_init(echo_init);
module_exit(echo_exit);
MODULE_LICENSE("GPL");
