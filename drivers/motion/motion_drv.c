// SPDX-License-Identifier: GPL-2.0
/*
 * HC-SR501 PIR motion sensor on one GPIO interrupt line.
 *
 * Both edges of the sensor's output restart a short debounce timer; when a
 * burst of edges has settled the timer sends SIGIO to every file that asked
 * for it, and a read of /dev/sr501 returns the line's level at that moment.
 * The settled level also shows as the switch SW_FRONT_PROXIMITY of an
 * input device, "sr501", for evdev readers.
 */

#include <linux/module.h>
#include <linux/fs.h>
#include <linux/device.h>
#include <linux/platform_device.h>
#include <linux/of.h>
#include <linux/of_gpio.h>
#include <linux/gpio.h>
#include <linux/gpio/consumer.h>
#include <linux/input.h>
#include <linux/interrupt.h>
#include <linux/timer.h>
#include <linux/jiffies.h>
#include <linux/mutex.h>
#include <linux/signal.h>
#include <linux/uaccess.h>
#include <linux/workqueue.h>

#include "sensorkit_compat.h"

#define SR501_NAME		"sr501"
#define SR501_CLASS_NAME	"sr501_class"
/* A burst of edges closer than this settles into one notification. */
#define SR501_DEBOUNCE_JIFFIES	2

static struct gpio_desc *sr501_desc;
static int irq;
static struct fasync_struct *sr_fasync;
static struct timer_list timer;
static int sr501_gpio;
static int major;
static struct class *class;
static struct input_dev *sr501_input;
static struct work_struct sr501_report_work;
/* Keeps reads off a line that probe or remove is taking or giving back. */
static DEFINE_MUTEX(sr501_lock);

static int sr501_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int sr501_release(struct inode *inode, struct file *file)
{
	return 0;
}

static ssize_t sr501_read(struct file *file, char __user *buf, size_t size,
			  loff_t *offset)
{
	unsigned char level;
	int value;

	if (!size)
		return 0;

	mutex_lock(&sr501_lock);
	value = sr501_desc ? gpiod_get_value_cansleep(sr501_desc) : 0;
	mutex_unlock(&sr501_lock);
	if (value < 0)
		return value;
	level = value;

	if (!sk_access_ok(VERIFY_WRITE, buf, 1) ||
	    __copy_to_user(buf, &level, 1))
		return -EFAULT;

	return 1;
}

static int sr501_fasync(int fd, struct file *file, int on)
{
	int ret = fasync_helper(fd, file, on, &sr_fasync);

	return ret < 0 ? ret : 0;
}

static const struct file_operations sr501_ops = {
	.owner = THIS_MODULE,
	.open = sr501_open,
	.release = sr501_release,
	.read = sr501_read,
	.fasync = sr501_fasync,
};

/* The line's controller may sleep (gpio-sim does): sample it in a worker. */
static void sr501_report(struct work_struct *work)
{
	int level = gpiod_get_value_cansleep(sr501_desc);

	if (level < 0)
		return;
	input_report_switch(sr501_input, SW_FRONT_PROXIMITY, level);
	input_sync(sr501_input);
}

static void timeout_handler(SK_TIMER_ARG unused)
{
	kill_fasync(&sr_fasync, SIGIO, POLL_IN);
	schedule_work(&sr501_report_work);
}

static irqreturn_t sr501_handler(int this_irq, void *dev_id)
{
	mod_timer(&timer, jiffies + SR501_DEBOUNCE_JIFFIES);
	return IRQ_HANDLED;
}

/*
 * The handler re-arms the timer, so it is ready before the interrupt is
 * requested. Its first expiry, at jiffies 0, notifies once whoever has
 * subscribed by then.
 */
static void sr501_start_timer(void)
{
	sk_timer_setup(&timer, timeout_handler);
	timer.expires = 0;
	add_timer(&timer);
}

/* Reads while no sensor is bound then sample no line, as before any probe. */
static void sr501_release_line(void)
{
	sr501_desc = NULL;
	gpio_free(sr501_gpio);
}

/* Goes by devres after remove, which has stopped the reports by then. */
static int sr501_input_register(struct platform_device *pdev)
{
	struct input_dev *input;
	int ret;

	input = devm_input_allocate_device(&pdev->dev);
	if (!input)
		return -ENOMEM;
	input->name = SR501_NAME;
	input->phys = SR501_NAME "/input0";
	input->id.bustype = BUS_HOST;
	input_set_capability(input, EV_SW, SW_FRONT_PROXIMITY);
	ret = input_register_device(input);
	if (ret)
		return ret;
	sr501_input = input;
	INIT_WORK(&sr501_report_work, sr501_report);
	return 0;
}

static void sr501_stop_reports(void)
{
	del_timer_sync(&timer);
	cancel_work_sync(&sr501_report_work);
}

/* Takes the line and its interrupt; called with sr501_lock held. */
static int sr501_bind(struct platform_device *pdev)
{
	int ret;

	/* One sensor per module: a second node must not re-arm the live timer. */
	if (sr501_desc) {
		pr_err(KBUILD_MODNAME ": only one sensor is supported\n");
		return -EBUSY;
	}

	sr501_gpio = of_get_named_gpio(pdev->dev.of_node, "gpios", 0);
	/* Also passes on -EPROBE_DEFER while the GPIO controller is missing. */
	if (sr501_gpio < 0)
		return sr501_gpio;

	/* Some controllers raise interrupts only for requested lines. */
	ret = gpio_request_one(sr501_gpio, GPIOF_IN, SR501_NAME);
	if (ret) {
		pr_err(KBUILD_MODNAME ": gpio %d request failed: %d\n",
		       sr501_gpio, ret);
		return ret;
	}
	sr501_desc = gpio_to_desc(sr501_gpio);

	/* The timer's first expiry already reports to it. */
	ret = sr501_input_register(pdev);
	if (ret) {
		sr501_release_line();
		return ret;
	}

	irq = gpiod_to_irq(sr501_desc);
	sr501_start_timer();

	ret = request_threaded_irq(irq, sr501_handler, NULL,
				   IRQF_TRIGGER_RISING | IRQF_TRIGGER_FALLING,
				   "sr501_irq", NULL);
	if (ret) {
		printk(KERN_DEFAULT "request_irq failed\n");
		sr501_stop_reports();
		sr501_release_line();
		return -1;
	}

	printk(KERN_DEFAULT "request_irq success\n");
	/* The level at bind, for readers that come before the first edge. */
	schedule_work(&sr501_report_work);
	return 0;
}

static int sr501_probe(struct platform_device *pdev)
{
	int ret;

	mutex_lock(&sr501_lock);
	ret = sr501_bind(pdev);
	mutex_unlock(&sr501_lock);
	return ret;
}

/* Edges re-arm the timer until the interrupt is gone, so stop it after. */
static SK_PLATFORM_REMOVE_TYPE sr501_remove(struct platform_device *pdev)
{
	mutex_lock(&sr501_lock);
	free_irq(irq, NULL);
	sr501_stop_reports();
	sr501_release_line();
	mutex_unlock(&sr501_lock);
	return SK_PLATFORM_REMOVE_RESULT;
}

static const struct of_device_id sr501_of_match[] = {
	{ .compatible = "hc-sr501" },
	{ }
};
MODULE_DEVICE_TABLE(of, sr501_of_match);

static struct platform_driver sr501_platform_driver = {
	.probe = sr501_probe,
	.remove = sr501_remove,
	.driver = {
		.name = "my_sr501",
		.of_match_table = sr501_of_match,
	},
};

static int __init sr501_init(void)
{
	struct device *node;
	int ret;

	major = register_chrdev(0, SR501_NAME, &sr501_ops);
	if (major < 0) {
		pr_err(KBUILD_MODNAME ": register_chrdev failed: %d\n", major);
		return major;
	}

	class = sk_class_create(SR501_CLASS_NAME);
	if (IS_ERR(class)) {
		ret = PTR_ERR(class);
		pr_err(KBUILD_MODNAME ": class_create failed: %d\n", ret);
		goto err_unregister_chrdev;
	}

	node = device_create(class, NULL, MKDEV(major, 0), NULL, SR501_NAME);
	if (IS_ERR(node)) {
		ret = PTR_ERR(node);
		pr_err(KBUILD_MODNAME ": device_create failed: %d\n", ret);
		goto err_destroy_class;
	}

	ret = platform_driver_register(&sr501_platform_driver);
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
	unregister_chrdev(major, SR501_NAME);
	return ret;
}

/* Remove, run by the unregistration, has already stopped the timer. */
static void __exit sr501_exit(void)
{
	platform_driver_unregister(&sr501_platform_driver);
	device_destroy(class, MKDEV(major, 0));
	class_destroy(class);
	unregister_chrdev(major, SR501_NAME);
}

module_init(sr501_init);
module_exit(sr501_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("HC-SR501 PIR motion sensor");
