// SPDX-License-Identifier: GPL-2.0
/*
 * temphum_drv: a DHT11 temperature and humidity sensor on one GPIO line,
 * read through /dev/dht11. Every read runs one exchange on the sensor's
 * single-wire bus, bit-banged with local interrupts off, and returns the
 * sensor's five-byte record.
 */
#include <linux/module.h>
#include <linux/init.h>
#include <linux/fs.h>
#include <linux/device.h>
#include <linux/platform_device.h>
#include <linux/of.h>
#include <linux/of_gpio.h>
#include <linux/gpio/consumer.h>
#include <linux/delay.h>
#include <linux/irqflags.h>
#include <linux/mutex.h>
#include <linux/string.h>
#include <linux/uaccess.h>

#include "sensorkit_compat.h"

#define DHT11_NAME		"dht11"
#define DHT11_CLASS_NAME	"dht11_class"

#define DHT11_RECORD_SIZE	5
#define DHT11_RECORD_BITS	(DHT11_RECORD_SIZE * 8)

/*
 * Host side of the exchange. The sensor wants a start of at least 18 ms, and
 * a timer-based mdelay may end a little early.
 */
#define DHT11_START_MS		20	/* line held low to wake the sensor */
#define DHT11_RELEASE_US	40	/* sensor starts its answer meanwhile */
#define DHT11_SAMPLE_US		50	/* after a bit's rise: a 0 is over, a 1 is not */
#define DHT11_ONE_TAIL_US	40	/* carries a 1 past its high phase */
/* A few times the longest phase, so a stalled sensor cannot hang us. */
#define DHT11_EDGE_TIMEOUT_US	250

static int dht11_gpio;
static struct gpio_desc *dht11_desc;
static int DHT11_PIN;
static unsigned char data[DHT11_RECORD_SIZE];
static int major;
static struct class *class;

/* Serialises exchanges on the line, and binding against them. */
static DEFINE_MUTEX(dht11_lock);

static struct gpio_desc *dht11_line(void)
{
	return gpio_to_desc(DHT11_PIN);
}

static void dht11_start_signal(void)
{
	gpiod_direction_output_raw(dht11_line(), 0);
	mdelay(DHT11_START_MS);
	gpiod_direction_input(dht11_line());
	gpiod_set_raw_value(dht11_line(), 1);
	udelay(DHT11_RELEASE_US);
	gpiod_direction_input(dht11_line());
}

static int dht11_wait_level(int level)
{
	unsigned int waited;

	for (waited = 0; gpiod_get_raw_value(dht11_line()) != level; waited++) {
		if (waited == DHT11_EDGE_TIMEOUT_US)
			return -ETIMEDOUT;
		udelay(1);
	}
	return 0;
}

/*
 * The sensor answers low, then high, each for about 80 us, from 20 to 40 us
 * after the release: samples at fixed times would miss a late answer whose
 * low runs a little long, so follow its edges.
 */
static bool dht11_responds(void)
{
	return !dht11_wait_level(0) && !dht11_wait_level(1);
}

/*
 * Each bit is a low lead-in, then a short high for 0 or a long one for 1.
 * Returns how many bits arrived before the sensor stalled, if it did.
 */
static int dht11_read_bits(u8 *record)
{
	int bit;

	for (bit = 0; bit < DHT11_RECORD_BITS; bit++) {
		if (dht11_wait_level(0) || dht11_wait_level(1))
			break;
		udelay(DHT11_SAMPLE_US);
		if (gpiod_get_raw_value(dht11_line())) {
			record[bit / 8] |= 0x80 >> (bit % 8);
			udelay(DHT11_ONE_TAIL_US);
		}
	}
	return bit;
}

/* Runs with interrupts off: nothing may stretch a wait or delay a sample. */
static int dht11_exchange(u8 *record)
{
	int bits;

	dht11_start_signal();
	if (!dht11_responds()) {
		pr_err("DHT11 sensor not responding\n");
		return -EIO;
	}
	bits = dht11_read_bits(record);
	if (bits < DHT11_RECORD_BITS) {
		pr_err("DHT11 sensor stalled after %d bits\n", bits);
		return -EIO;
	}
	return 0;
}

/* Only a complete record replaces the last good one. */
static int dht11_measure(void)
{
	u8 record[DHT11_RECORD_SIZE] = { 0 };
	unsigned long flags;
	int ret;

	local_irq_save(flags);
	ret = dht11_exchange(record);
	local_irq_restore(flags);
	if (!ret)
		memcpy(data, record, sizeof(data));
	return ret;
}

static int dht11_open(struct inode *inode, struct file *file)
{
	return 0;
}

static int dht11_release(struct inode *inode, struct file *file)
{
	return 0;
}

/* Returns 0, not a length: readers take the record from their buffer. */
static ssize_t dht11_read(struct file *file, char __user *buf, size_t size,
			  loff_t *off)
{
	size_t len = min_t(size_t, size, DHT11_RECORD_SIZE);
	int ret;

	if (!sk_access_ok(VERIFY_WRITE, buf, len))
		return -EFAULT;
	if (mutex_lock_interruptible(&dht11_lock))
		return -ERESTARTSYS;
	ret = dht11_desc ? dht11_measure() : -ENODEV;
	if (!ret && __copy_to_user(buf, data, len))
		ret = -EFAULT;
	mutex_unlock(&dht11_lock);
	return ret;
}

static const struct file_operations dht11_ops = {
	.owner = THIS_MODULE,
	.open = dht11_open,
	.release = dht11_release,
	.read = dht11_read,
};

static int dht11_probe(struct platform_device *pdev)
{
	struct gpio_desc *desc;
	int gpio;
	int ret = 0;

	mutex_lock(&dht11_lock);
	/* One sensor per module: a second node must not take the line over. */
	if (dht11_desc) {
		ret = -EBUSY;
		goto out;
	}
	gpio = of_get_named_gpio(pdev->dev.of_node, "gpios", 0);
	if (gpio < 0) {
		ret = gpio;
		goto out;
	}
	desc = gpio_to_desc(gpio);
	if (!desc) {
		ret = -ENODEV;
		goto out;
	}
	dht11_gpio = gpio;
	dht11_desc = desc;
	DHT11_PIN = dht11_gpio;
	printk(KERN_DEFAULT "DHT11_PIN = %d\n", DHT11_PIN);
	gpiod_direction_output(dht11_desc, 1);
	printk(KERN_DEFAULT "dht11 probe run\n");
out:
	mutex_unlock(&dht11_lock);
	return ret;
}

/* The line is left as it is; reads fail until the next probe. */
static SK_PLATFORM_REMOVE_TYPE dht11_remove(struct platform_device *pdev)
{
	mutex_lock(&dht11_lock);
	dht11_desc = NULL;
	mutex_unlock(&dht11_lock);
	return SK_PLATFORM_REMOVE_RESULT;
}

static const struct of_device_id dht11_of_match[] = {
	{ .compatible = "hc-dht11" },
	{ }
};
MODULE_DEVICE_TABLE(of, dht11_of_match);

static struct platform_driver dht11_platform_driver = {
	.probe = dht11_probe,
	.remove = dht11_remove,
	.driver = {
		.name = "my_dht11",
		.of_match_table = dht11_of_match,
	},
};

static int __init dht11_init(void)
{
	struct device *dev;
	int ret;

	major = register_chrdev(0, DHT11_NAME, &dht11_ops);
	if (major < 0) {
		pr_err(KBUILD_MODNAME ": register_chrdev failed: %d\n", major);
		return major;
	}

	class = sk_class_create(DHT11_CLASS_NAME);
	if (IS_ERR(class)) {
		ret = PTR_ERR(class);
		pr_err(KBUILD_MODNAME ": class_create failed: %d\n", ret);
		goto err_unregister_chrdev;
	}

	dev = device_create(class, NULL, MKDEV(major, 0), NULL, DHT11_NAME);
	if (IS_ERR(dev)) {
		ret = PTR_ERR(dev);
		pr_err(KBUILD_MODNAME ": device_create failed: %d\n", ret);
		goto err_destroy_class;
	}

	ret = platform_driver_register(&dht11_platform_driver);
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
	unregister_chrdev(major, DHT11_NAME);
	return ret;
}

static void __exit dht11_exit(void)
{
	platform_driver_unregister(&dht11_platform_driver);
	device_destroy(class, MKDEV(major, 0));
	class_destroy(class);
	unregister_chrdev(major, DHT11_NAME);
}

module_init(dht11_init);
module_exit(dht11_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("DHT11 temperature and humidity sensor on a GPIO line");
