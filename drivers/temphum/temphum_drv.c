// SPDX-License-Identifier: GPL-2.0
/*
 * temphum_drv: a DHT11 temperature and humidity sensor on one GPIO line,
 * read through /dev/dht11. Every read runs one exchange on the sensor's
 * single-wire bus, bit-banged with local interrupts off, and returns the
 * sensor's five-byte record. The same readings show as a hwmon device,
 * "dht11", in millidegrees and milli-percent.
 */
#include <linux/module.h>
#include <linux/init.h>
#include <linux/fs.h>
#include <linux/device.h>
#include <linux/platform_device.h>
#include <linux/of.h>
#include <linux/of_gpio.h>
#include <linux/gpio/consumer.h>
#include <linux/hwmon.h>
#include <linux/jiffies.h>
#include <linux/delay.h>
#include <linux/irqflags.h>
#include <linux/mutex.h>
#include <linux/string.h>
#include <linux/sysfs.h>
#include <linux/uaccess.h>

#include "sensorkit_compat.h"

#define DHT11_NAME		"dht11"
#define DHT11_CLASS_NAME	"dht11_class"

#define DHT11_RECORD_SIZE	5
#define DHT11_RECORD_BITS	(DHT11_RECORD_SIZE * 8)
#define DHT11_HUMIDITY		0	/* integral byte; the tenths follow */
#define DHT11_TEMPERATURE	2
#define DHT11_CHECKSUM		4
#define DHT11_MAX_TENTHS	9

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
/*
 * hwmon readers poll: a good record serves them for 2 s, the sensor's rest
 * as the kernel's IIO dht11 driver keeps it, before a new exchange.
 */
#define DHT11_VALID_JIFFIES	(2 * HZ)

static int dht11_gpio;
static struct gpio_desc *dht11_desc;
static int DHT11_PIN;
static unsigned char data[DHT11_RECORD_SIZE];
/* Whether data holds a record with a good checksum, and since when. */
static bool dht11_data_good;
static unsigned long dht11_measured_at;
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

static bool dht11_checksum_good(const u8 *record)
{
	return ((record[0] + record[1] + record[2] + record[3]) & 0xff) ==
		record[DHT11_CHECKSUM];
}

/* Only a complete record replaces the last one. */
static int dht11_measure(void)
{
	u8 record[DHT11_RECORD_SIZE] = { 0 };
	unsigned long flags;
	int ret;

	local_irq_save(flags);
	ret = dht11_exchange(record);
	local_irq_restore(flags);
	if (!ret) {
		memcpy(data, record, sizeof(data));
		dht11_data_good = dht11_checksum_good(data);
		dht11_measured_at = jiffies;
	}
	return ret;
}

/*
 * For hwmon, called with dht11_lock held: a good record younger than the
 * sensor's rest, else a new exchange; a failed or corrupt one gives -EIO.
 */
static int dht11_recent_good_record(void)
{
	int ret;

	if (!dht11_desc)
		return -ENODEV;
	if (dht11_data_good &&
	    time_before(jiffies, dht11_measured_at + DHT11_VALID_JIFFIES))
		return 0;
	ret = dht11_measure();
	if (ret)
		return ret;
	return dht11_data_good ? 0 : -EIO;
}

/* An integral and a tenths byte in thousandths, as hwmon wants them. */
static int dht11_decode(const u8 *bytes, int *thousandths)
{
	if (bytes[1] > DHT11_MAX_TENTHS)
		return -EIO;
	*thousandths = bytes[0] * 1000 + bytes[1] * 100;
	return 0;
}

static ssize_t dht11_show_reading(char *buf, unsigned int byte)
{
	int value, ret;

	if (mutex_lock_interruptible(&dht11_lock))
		return -ERESTARTSYS;
	ret = dht11_recent_good_record();
	if (!ret)
		ret = dht11_decode(&data[byte], &value);
	mutex_unlock(&dht11_lock);
	if (ret)
		return ret;
	return sprintf(buf, "%d\n", value);
}

static ssize_t temp1_input_show(struct device *dev,
				struct device_attribute *attr, char *buf)
{
	return dht11_show_reading(buf, DHT11_TEMPERATURE);
}

static ssize_t humidity1_input_show(struct device *dev,
				    struct device_attribute *attr, char *buf)
{
	return dht11_show_reading(buf, DHT11_HUMIDITY);
}

static DEVICE_ATTR_RO(temp1_input);
static DEVICE_ATTR_RO(humidity1_input);

static struct attribute *dht11_attrs[] = {
	&dev_attr_temp1_input.attr,
	&dev_attr_humidity1_input.attr,
	NULL
};
ATTRIBUTE_GROUPS(dht11);

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

/* Takes the line; called with dht11_lock held. */
static int dht11_take_line(struct platform_device *pdev)
{
	struct gpio_desc *desc;
	int gpio;

	/* One sensor per module: a second node must not take the line over. */
	if (dht11_desc)
		return -EBUSY;
	gpio = of_get_named_gpio(pdev->dev.of_node, "gpios", 0);
	if (gpio < 0)
		return gpio;
	desc = gpio_to_desc(gpio);
	if (!desc)
		return -ENODEV;
	dht11_gpio = gpio;
	dht11_desc = desc;
	DHT11_PIN = dht11_gpio;
	dht11_data_good = false;
	printk(KERN_DEFAULT "DHT11_PIN = %d\n", DHT11_PIN);
	gpiod_direction_output(dht11_desc, 1);
	printk(KERN_DEFAULT "dht11 probe run\n");
	return 0;
}

/* Reads fail until the next probe; the line is left as it is. */
static void dht11_forget_line(void)
{
	mutex_lock(&dht11_lock);
	dht11_desc = NULL;
	dht11_data_good = false;
	mutex_unlock(&dht11_lock);
}

/*
 * The hwmon device goes after remove, by devres: its removal waits for
 * readers in the middle of a show, who may be waiting for dht11_lock.
 */
static int dht11_probe(struct platform_device *pdev)
{
	struct device *hwmon;
	int ret;

	mutex_lock(&dht11_lock);
	ret = dht11_take_line(pdev);
	mutex_unlock(&dht11_lock);
	if (ret)
		return ret;

	hwmon = devm_hwmon_device_register_with_groups(&pdev->dev, DHT11_NAME,
						       NULL, dht11_groups);
	if (IS_ERR(hwmon)) {
		dht11_forget_line();
		return PTR_ERR(hwmon);
	}
	return 0;
}

static SK_PLATFORM_REMOVE_TYPE dht11_remove(struct platform_device *pdev)
{
	dht11_forget_line();
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
