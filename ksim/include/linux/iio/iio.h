/* SPDX-License-Identifier: GPL-2.0 */
/* The IIO core as 4.1 has it, for channels read one value at a time. */
#ifndef _INDUSTRIAL_IO_H_
#define _INDUSTRIAL_IO_H_

#include <linux/device.h>

struct module;

enum iio_chan_type {
	IIO_VOLTAGE,
	IIO_CURRENT,
	IIO_POWER,
	IIO_ACCEL,
	IIO_ANGL_VEL,
	IIO_MAGN,
	IIO_LIGHT,
	IIO_INTENSITY,
	IIO_PROXIMITY,
	IIO_TEMP,
};

enum iio_modifier {
	IIO_NO_MOD,
	IIO_MOD_X,
	IIO_MOD_Y,
	IIO_MOD_Z,
	IIO_MOD_X_AND_Y,
	IIO_MOD_X_AND_Z,
	IIO_MOD_Y_AND_Z,
	IIO_MOD_X_AND_Y_AND_Z,
	IIO_MOD_X_OR_Y,
	IIO_MOD_X_OR_Z,
	IIO_MOD_Y_OR_Z,
	IIO_MOD_X_OR_Y_OR_Z,
	IIO_MOD_LIGHT_BOTH,
	IIO_MOD_LIGHT_IR,
};

enum iio_chan_info_enum {
	IIO_CHAN_INFO_RAW = 0,
	IIO_CHAN_INFO_PROCESSED,
	IIO_CHAN_INFO_SCALE,
};

#define IIO_VAL_INT 1

#define INDIO_DIRECT_MODE 0x01

struct iio_chan_spec {
	enum iio_chan_type type;
	int channel;
	int channel2;
	unsigned long address;
	long info_mask_separate;
	unsigned modified:1;
	unsigned indexed:1;
	unsigned output:1;
};

struct iio_dev;

struct iio_info {
	struct module *driver_module;
	int (*read_raw)(struct iio_dev *indio_dev,
			struct iio_chan_spec const *chan,
			int *val, int *val2, long mask);
};

struct iio_dev {
	int modes;
	struct device dev;
	const struct iio_chan_spec *channels;
	int num_channels;
	const char *name;
	const struct iio_info *info;
};

KSIM_BEGIN_DECLS
struct iio_dev *devm_iio_device_alloc(struct device *dev, int sizeof_priv);
int devm_iio_device_register(struct device *dev, struct iio_dev *indio_dev);
void *iio_priv(const struct iio_dev *indio_dev);
KSIM_END_DECLS

#endif
