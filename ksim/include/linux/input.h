/* SPDX-License-Identifier: GPL-2.0 */
/* The input core as 4.1 has it, for a device that reports switches. */
#ifndef _INPUT_H
#define _INPUT_H

#include <linux/device.h>

#define EV_SYN			0x00
#define EV_SW			0x05
#define EV_MAX			0x1f

#define SYN_REPORT		0
#define SW_FRONT_PROXIMITY	0x0b
#define SW_MAX			0x0f

#define BUS_HOST		0x19

struct input_id {
	__u16 bustype;
	__u16 vendor;
	__u16 product;
	__u16 version;
};

/* The capability and state bitmaps, as words of the board's long. */
struct input_dev {
	const char *name;
	const char *phys;
	struct input_id id;
	unsigned long evbit[1];
	unsigned long swbit[1];
	unsigned long sw[1];
	struct device dev;
};

KSIM_BEGIN_DECLS
struct input_dev *devm_input_allocate_device(struct device *dev);
int __must_check input_register_device(struct input_dev *dev);
void input_unregister_device(struct input_dev *dev);
void input_set_capability(struct input_dev *dev, unsigned int type,
			  unsigned int code);
void input_event(struct input_dev *dev, unsigned int type, unsigned int code,
		 int value);
KSIM_END_DECLS

static inline void input_report_switch(struct input_dev *dev,
				       unsigned int code, int value)
{
	input_event(dev, EV_SW, code, !!value);
}

static inline void input_sync(struct input_dev *dev)
{
	input_event(dev, EV_SYN, SYN_REPORT, 0);
}

#endif
