// SPDX-License-Identifier: GPL-2.0
/*
 * AP3216C ambient light, proximity and infrared sensor on I2C.
 *
 * The character device /dev/ap3216 follows the binding: probe publishes it,
 * remove takes it away. Opening it resets the chip and enables all three
 * measurements; a read of exactly six bytes returns the raw IR, ALS and PS
 * words, each high byte first. The same words show as the channels of an
 * IIO device, read on demand while the driver is bound.
 */
#include <linux/delay.h>
#include <linux/device.h>
#include <linux/err.h>
#include <linux/fs.h>
#include <linux/i2c.h>
#include <linux/iio/iio.h>
#include <linux/kdev_t.h>
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/mutex.h>
#include <linux/printk.h>
#include <linux/types.h>
#include <linux/uaccess.h>

#include "sensorkit_compat.h"

#define AP3216_SYS_CONFIG	0x00
#define AP3216_SYS_RESET	0x04
#define AP3216_SYS_ALS_PS_IR	0x03
#define AP3216_IR_DATA		0x0a
#define AP3216_ALS_DATA		0x0c
#define AP3216_PS_DATA		0x0e

/* The chip needs at least 10 ms after a software reset. */
#define AP3216_RESET_DELAY_MS	15
/* Its first conversion of all three once enabled: ALS 100 ms, PS 12.5 ms. */
#define AP3216_CONVERSION_MS	120

#define AP3216_NAME		"ap3216"
#define AP3216_CLASS_NAME	"ap3216_class"

#define AP3216_RECORD_SIZE	6
#define AP3216_MINORS		256

static int major;
static struct class *ap3216_class;
/* Set while bound; cleared by remove under ap3216_lock before the client goes. */
static struct i2c_client *ap3216_client;
/* Serialises the chip exchanges against binding and unbinding. */
static DEFINE_MUTEX(ap3216_lock);
/* Measuring all three since the last reset and enable. */
static bool ap3216_enabled;

static const u8 ap3216_data_regs[] = {
	AP3216_IR_DATA, AP3216_ALS_DATA, AP3216_PS_DATA,
};

/* Called with ap3216_lock held and the client bound. */
static int ap3216_reset_and_enable(void)
{
	int ret;

	ap3216_enabled = false;
	ret = i2c_smbus_write_byte_data(ap3216_client, AP3216_SYS_CONFIG,
					AP3216_SYS_RESET);
	if (ret)
		return ret;
	mdelay(AP3216_RESET_DELAY_MS);
	ret = i2c_smbus_write_byte_data(ap3216_client, AP3216_SYS_CONFIG,
					AP3216_SYS_ALS_PS_IR);
	ap3216_enabled = !ret;
	return ret;
}

static int ap3216_open(struct inode *inode, struct file *file)
{
	int ret;

	mutex_lock(&ap3216_lock);
	ret = ap3216_client ? ap3216_reset_and_enable() : -ENODEV;
	mutex_unlock(&ap3216_lock);
	return ret;
}

/* Reads one data register pair into @dst, high byte first. */
static int ap3216_read_word(u8 command, u8 *dst)
{
	s32 word = i2c_smbus_read_word_data(ap3216_client, command);

	if (word < 0)
		return word;
	dst[0] = word >> 8;
	dst[1] = word & 0xff;
	return 0;
}

static int ap3216_read_record(u8 *record)
{
	unsigned int i;
	int ret;

	for (i = 0; i < ARRAY_SIZE(ap3216_data_regs); i++) {
		ret = ap3216_read_word(ap3216_data_regs[i], &record[2 * i]);
		if (ret)
			return ret;
	}
	return 0;
}

static ssize_t ap3216_read(struct file *file, char __user *buf, size_t count,
			   loff_t *ppos)
{
	u8 record[AP3216_RECORD_SIZE];
	int ret;

	if (count != AP3216_RECORD_SIZE)
		return -EINVAL;

	mutex_lock(&ap3216_lock);
	ret = ap3216_client ? ap3216_read_record(record) : -ENODEV;
	mutex_unlock(&ap3216_lock);
	if (ret)
		return ret;

	if (!sk_access_ok(VERIFY_WRITE, buf, AP3216_RECORD_SIZE) ||
	    copy_to_user(buf, record, count))
		return -EFAULT;
	/* Callers rely on the buffer only; a good read has always returned 0. */
	return 0;
}

static const struct file_operations ap3216_fops = {
	.owner = THIS_MODULE,
	.read = ap3216_read,
	.open = ap3216_open,
};

/*
 * For IIO, called with ap3216_lock held: a chip nobody has opened is still
 * powered down, so enable it and wait for its first conversion.
 */
static int ap3216_measuring(void)
{
	int ret;

	if (!ap3216_client)
		return -ENODEV;
	if (ap3216_enabled)
		return 0;
	ret = ap3216_reset_and_enable();
	if (!ret)
		msleep(AP3216_CONVERSION_MS);
	return ret;
}

static int ap3216_read_raw(struct iio_dev *indio_dev,
			   struct iio_chan_spec const *chan, int *val,
			   int *val2, long mask)
{
	s32 word;

	if (mask != IIO_CHAN_INFO_RAW)
		return -EINVAL;
	mutex_lock(&ap3216_lock);
	word = ap3216_measuring();
	if (!word)
		word = i2c_smbus_read_word_data(ap3216_client, chan->address);
	mutex_unlock(&ap3216_lock);
	if (word < 0)
		return word;
	*val = word;
	return IIO_VAL_INT;
}

static const struct iio_info ap3216_iio_info = {
	SK_IIO_INFO_OWNER
	.read_raw = ap3216_read_raw,
};

#define AP3216_CHANNEL(chan_type, data_reg) \
	.type = (chan_type), \
	.address = (data_reg), \
	.info_mask_separate = BIT(IIO_CHAN_INFO_RAW)

static const struct iio_chan_spec ap3216_channels[] = {
	{ AP3216_CHANNEL(IIO_LIGHT, AP3216_ALS_DATA) },
	{ AP3216_CHANNEL(IIO_PROXIMITY, AP3216_PS_DATA) },
	{
		AP3216_CHANNEL(IIO_INTENSITY, AP3216_IR_DATA),
		.modified = 1,
		.channel2 = IIO_MOD_LIGHT_IR,
	},
};

/* Goes by devres after remove, so its removal waits for no lock holder. */
static int ap3216_iio_register(struct i2c_client *client)
{
	struct iio_dev *indio_dev;

	indio_dev = devm_iio_device_alloc(&client->dev, 0);
	if (!indio_dev)
		return -ENOMEM;
	indio_dev->dev.parent = &client->dev;
	indio_dev->name = "ap3216c";
	indio_dev->info = &ap3216_iio_info;
	indio_dev->modes = INDIO_DIRECT_MODE;
	indio_dev->channels = ap3216_channels;
	indio_dev->num_channels = ARRAY_SIZE(ap3216_channels);
	return devm_iio_device_register(&client->dev, indio_dev);
}

/* Makes the major, the class and /dev/ap3216; undoes its own steps on failure. */
static int ap3216_publish(int *new_major, struct class **new_class)
{
	struct device *dev;
	int ret;

	*new_major = register_chrdev(0, AP3216_NAME, &ap3216_fops);
	if (*new_major < 0) {
		pr_err(KBUILD_MODNAME ": register_chrdev failed: %d\n",
		       *new_major);
		return *new_major;
	}

	*new_class = sk_class_create(AP3216_CLASS_NAME);
	if (IS_ERR(*new_class)) {
		printk(KERN_DEFAULT "ap3216 class_create failed!\n");
		ret = PTR_ERR(*new_class);
		goto err_unregister_chrdev;
	}

	dev = device_create(*new_class, NULL, MKDEV(*new_major, 0), NULL,
			    AP3216_NAME);
	if (IS_ERR(dev)) {
		printk(KERN_DEFAULT "ap3216 device_create failed\n");
		ret = -ENODEV;
		goto err_destroy_class;
	}
	return 0;

err_destroy_class:
	class_destroy(*new_class);
err_unregister_chrdev:
	unregister_chrdev(*new_major, AP3216_NAME);
	return ret;
}

static void ap3216_unpublish(void)
{
	mutex_lock(&ap3216_lock);
	device_destroy(ap3216_class, MKDEV(major, 0));
	class_destroy(ap3216_class);
	unregister_chrdev(major, AP3216_NAME);
	ap3216_client = NULL;
	mutex_unlock(&ap3216_lock);
}

static int ap3216_i2c_probe(SK_I2C_PROBE_ARGS)
{
	struct class *new_class;
	int new_major, ret;

	mutex_lock(&ap3216_lock);
	/* One sensor per module: a second binding must not touch the first. */
	if (ap3216_client) {
		ret = -EBUSY;
		goto out;
	}
	ret = ap3216_publish(&new_major, &new_class);
	if (ret)
		goto out;

	major = new_major;
	ap3216_class = new_class;
	ap3216_client = client;
	ap3216_enabled = false;
	printk(KERN_DEFAULT "ap3216_i2c probe\n");
out:
	mutex_unlock(&ap3216_lock);
	if (ret)
		return ret;

	ret = ap3216_iio_register(client);
	if (ret)
		ap3216_unpublish();
	return ret;
}

static SK_I2C_REMOVE_TYPE ap3216_i2c_remove(struct i2c_client *client)
{
	ap3216_unpublish();
	return SK_I2C_REMOVE_RESULT;
}

static const struct i2c_device_id ap3216_i2c_id[] = {
	{ "ap3216c", 0 },
	{ }
};
MODULE_DEVICE_TABLE(i2c, ap3216_i2c_id);

static const struct of_device_id ap3216_dt_match[] = {
	{ .compatible = "brenolix,ap3216c" },
	{ }
};
MODULE_DEVICE_TABLE(of, ap3216_dt_match);

static struct i2c_driver ap3216_i2c_driver = {
	.driver = {
		.name = "ap3216",
		.of_match_table = ap3216_dt_match,
	},
	.probe = ap3216_i2c_probe,
	.remove = ap3216_i2c_remove,
	.id_table = ap3216_i2c_id,
};

static int __init ap3216_i2c_init(void)
{
	int ret = i2c_add_driver(&ap3216_i2c_driver);

	if (ret)
		pr_err("Failed to register ap3216 I2C driver: %d\n", ret);
	return ret;
}

static void __exit ap3216_i2c_exit(void)
{
	i2c_del_driver(&ap3216_i2c_driver);
}

module_init(ap3216_i2c_init);
module_exit(ap3216_i2c_exit);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("AP3216C light and proximity sensor");
