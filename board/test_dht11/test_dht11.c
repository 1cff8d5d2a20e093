// SPDX-License-Identifier: GPL-2.0
/*
 * A DHT11 on a GPIO line of its own, for the virtual board. The controller
 * has one line that never sleeps: while the host drives it, it reads what
 * the host drives; once the host has held it low for a start signal and
 * released it, its level is the sensor's answer, computed from the clock
 * (the host samples it with interrupts off, so nothing may wait): a wake-up
 * of 20 to 40 us, 80 us low, 80 us high, then 40 bits, most significant
 * first, each 50 us low and 27 us (a 0) or 70 us (a 1) high, a last 50 us
 * low, and the line released again. As the datasheet has it, a start
 * signal shorter than 18 ms gets no answer, and neither does one begun
 * while the sensor rests after its last answer. The record it sends, its
 * timing and its faults are set in sysfs, on the device: record
 * ("HH HH HH HH HH", hex, checksum included), wake_us (20 to 40), rest_ms
 * (the rest from the end of an answer, 0 to 2000), present (0: nobody
 * answers), stuck_low (1: the line reads low whatever happens), stall_after
 * (the bits sent before the sensor stops and lets the line go high; -1:
 * all), jitter_us (each phase up to this much longer or shorter, the
 * wake-up kept within 20 to 40 us) and exchanges (answers begun, read only).
 */
#include <linux/device.h>
#include <linux/gpio/driver.h>
#include <linux/kernel.h>
#include <linux/ktime.h>
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/of.h>
#include <linux/platform_device.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/string.h>
#include <linux/sysfs.h>
#include <linux/version.h>

#define DHT11_BITS		40
#define DHT11_START_NS		(18 * NSEC_PER_MSEC)
#define DHT11_MIN_WAKE_US	20
#define DHT11_MAX_WAKE_US	40
#define DHT11_MAX_REST_MS	2000
#define DHT11_RESPONSE_NS	(80 * NSEC_PER_USEC)
#define DHT11_BIT_LOW_NS	(50 * NSEC_PER_USEC)
#define DHT11_ZERO_HIGH_NS	(27 * NSEC_PER_USEC)
#define DHT11_ONE_HIGH_NS	(70 * NSEC_PER_USEC)
/* Wake-up, response low and high, each bit's low and high, the last low. */
#define DHT11_PHASES		(3 + 2 * DHT11_BITS + 1)
#define DHT11_MAX_JITTER_US	10

struct test_dht11 {
	struct gpio_chip gc;
	struct device *dev;
	/* Guards everything below; the host samples with interrupts off. */
	spinlock_t lock;
	u8 record[5];
	int wake_us;
	int rest_ms;
	int present;
	int stuck_low;
	int stall_after;
	int jitter_us;
	u32 jitter_state;
	unsigned int exchanges;
	/* The line as the host drives it. */
	bool output;
	bool driven_high;
	u64 low_since;
	/* When the last answer ended: the rest counts from there. */
	u64 answer_end;
	/* The answer under way: when it began, where each phase ends, and
	 * the phase the line was last seen in (time only goes forward).
	 */
	bool answering;
	u64 answer_start;
	u64 phase_end[DHT11_PHASES];
	int phases;
	int phase;
};

static struct test_dht11 *to_dht11(struct gpio_chip *gc)
{
	return container_of(gc, struct test_dht11, gc);
}

/*
 * Laid out while the host waits in its release, so it must be cheap: a
 * linear congruential step per phase, not the kernel's random numbers.
 */
static u64 test_dht11_jittered(struct test_dht11 *dht, u64 ns)
{
	u32 jitter = dht->jitter_us * NSEC_PER_USEC;

	if (!jitter)
		return ns;
	dht->jitter_state = dht->jitter_state * 1103515245 + 12345;
	return ns - jitter + (dht->jitter_state >> 8) % (2 * jitter + 1);
}

static void test_dht11_add_phase(struct test_dht11 *dht, u64 ns)
{
	u64 start = dht->phases ? dht->phase_end[dht->phases - 1] : 0;

	dht->phase_end[dht->phases++] = start + test_dht11_jittered(dht, ns);
}

/*
 * Lays out the answer to a start signal released now. Phases alternate,
 * high first: the line is released during the wake-up, and each phase
 * after it is low or high in turn; past the last one the line is high.
 */
static void test_dht11_answer(struct test_dht11 *dht, u64 now)
{
	int bits = dht->stall_after < 0 ? DHT11_BITS :
		   min(dht->stall_after, DHT11_BITS);
	int bit;

	dht->exchanges++;
	dht->answering = true;
	dht->answer_start = now;
	dht->phases = 0;
	dht->phase = 0;
	test_dht11_add_phase(dht, dht->wake_us * NSEC_PER_USEC);
	/* Jitter never takes the wake-up out of the datasheet's range. */
	dht->phase_end[0] = clamp_t(u64, dht->phase_end[0],
				    DHT11_MIN_WAKE_US * NSEC_PER_USEC,
				    DHT11_MAX_WAKE_US * NSEC_PER_USEC);
	test_dht11_add_phase(dht, DHT11_RESPONSE_NS);
	test_dht11_add_phase(dht, DHT11_RESPONSE_NS);
	for (bit = 0; bit < bits; bit++) {
		bool one = dht->record[bit / 8] & (0x80 >> (bit % 8));

		test_dht11_add_phase(dht, DHT11_BIT_LOW_NS);
		test_dht11_add_phase(dht, one ? DHT11_ONE_HIGH_NS :
					   DHT11_ZERO_HIGH_NS);
	}
	/* A stalled sensor stops driving, and the pull-up takes the line. */
	if (bits == DHT11_BITS)
		test_dht11_add_phase(dht, DHT11_BIT_LOW_NS);
	dht->answer_end = now + dht->phase_end[dht->phases - 1];
}

static int test_dht11_level(struct test_dht11 *dht, u64 now)
{
	u64 t = now - dht->answer_start;

	if (dht->output)
		return dht->driven_high;
	if (dht->stuck_low)
		return 0;
	if (!dht->answering)
		return 1;
	while (dht->phase < dht->phases && t >= dht->phase_end[dht->phase])
		dht->phase++;
	if (dht->phase < dht->phases)
		return dht->phase % 2 == 0;
	dht->answering = false;
	return 1;
}

/*
 * The clock the sensor answers by. Its fast form takes no lock: the host
 * reads the line in a busy loop, and a real line costs nothing to read.
 */
static u64 test_dht11_now(void)
{
	return ktime_get_mono_fast_ns();
}

/* The line goes low, driven by the host: a start signal may begin. */
static void test_dht11_drive(struct test_dht11 *dht, bool high, u64 now)
{
	if (!high && (!dht->output || dht->driven_high))
		dht->low_since = now;
	dht->driven_high = high;
	dht->output = true;
	dht->answering = false;
}

/*
 * No lock either: only the host's own calls, from the one task that holds
 * the line, lay out or end an answer.
 */
static int test_dht11_get(struct gpio_chip *gc, unsigned int offset)
{
	return test_dht11_level(to_dht11(gc), test_dht11_now());
}

/* Writing an input's value changes nothing on the wire. */
static void test_dht11_set(struct gpio_chip *gc, unsigned int offset,
			   int value)
{
	struct test_dht11 *dht = to_dht11(gc);
	unsigned long flags;

	spin_lock_irqsave(&dht->lock, flags);
	if (dht->output)
		test_dht11_drive(dht, value, test_dht11_now());
	spin_unlock_irqrestore(&dht->lock, flags);
}

static int test_dht11_direction_output(struct gpio_chip *gc,
				       unsigned int offset, int value)
{
	struct test_dht11 *dht = to_dht11(gc);
	unsigned long flags;

	spin_lock_irqsave(&dht->lock, flags);
	test_dht11_drive(dht, value, test_dht11_now());
	spin_unlock_irqrestore(&dht->lock, flags);
	return 0;
}

/*
 * A start signal the sensor hears: at least 18 ms low, begun once it had
 * rested after its last answer (it comes rested), on a line it can drive.
 */
static bool test_dht11_started(struct test_dht11 *dht, u64 now)
{
	u64 rested = dht->answer_end + (u64)dht->rest_ms * NSEC_PER_MSEC;

	return dht->output && !dht->driven_high && dht->present &&
	       !dht->stuck_low && now - dht->low_since >= DHT11_START_NS &&
	       (!dht->exchanges || dht->low_since >= rested);
}

/* Released after a start signal, the line carries the sensor's answer. */
static int test_dht11_direction_input(struct gpio_chip *gc,
				      unsigned int offset)
{
	struct test_dht11 *dht = to_dht11(gc);
	unsigned long flags;
	u64 now;

	spin_lock_irqsave(&dht->lock, flags);
	now = test_dht11_now();
	if (test_dht11_started(dht, now))
		test_dht11_answer(dht, now);
	dht->output = false;
	spin_unlock_irqrestore(&dht->lock, flags);
	return 0;
}

static struct test_dht11 *attr_dht11(struct device *dev)
{
	return dev_get_drvdata(dev);
}

static ssize_t record_show(struct device *dev, struct device_attribute *attr,
			   char *buf)
{
	u8 *r = attr_dht11(dev)->record;

	return sprintf(buf, "%02x %02x %02x %02x %02x\n",
		       r[0], r[1], r[2], r[3], r[4]);
}

static ssize_t record_store(struct device *dev, struct device_attribute *attr,
			    const char *buf, size_t len)
{
	struct test_dht11 *dht = attr_dht11(dev);
	unsigned int b[5];
	unsigned long flags;
	int i;

	if (sscanf(buf, "%x %x %x %x %x", &b[0], &b[1], &b[2], &b[3], &b[4]) != 5)
		return -EINVAL;
	spin_lock_irqsave(&dht->lock, flags);
	for (i = 0; i < 5; i++)
		dht->record[i] = b[i];
	spin_unlock_irqrestore(&dht->lock, flags);
	return len;
}
static DEVICE_ATTR_RW(record);

/* The sensor's flags and numbers, as sysfs shows and takes them. */
static ssize_t test_dht11_store(const char *buf, size_t len, int low,
				int high, int *field)
{
	int value;

	if (kstrtoint(buf, 0, &value) || value < low || value > high)
		return -EINVAL;
	*field = value;
	return len;
}

/* A knob holding a number from LOW to HIGH, shown and set in decimal. */
#define TEST_DHT11_KNOB(name, low, high)				\
static ssize_t name##_show(struct device *dev,				\
			   struct device_attribute *attr, char *buf)	\
{									\
	return sprintf(buf, "%d\n", attr_dht11(dev)->name);		\
}									\
									\
static ssize_t name##_store(struct device *dev,				\
			    struct device_attribute *attr,		\
			    const char *buf, size_t len)		\
{									\
	return test_dht11_store(buf, len, low, high,			\
				&attr_dht11(dev)->name);		\
}									\
static DEVICE_ATTR_RW(name)

TEST_DHT11_KNOB(wake_us, DHT11_MIN_WAKE_US, DHT11_MAX_WAKE_US);
TEST_DHT11_KNOB(rest_ms, 0, DHT11_MAX_REST_MS);
TEST_DHT11_KNOB(present, 0, 1);
TEST_DHT11_KNOB(stuck_low, 0, 1);
TEST_DHT11_KNOB(stall_after, -1, DHT11_BITS);
TEST_DHT11_KNOB(jitter_us, 0, DHT11_MAX_JITTER_US);

static ssize_t exchanges_show(struct device *dev,
			      struct device_attribute *attr, char *buf)
{
	return sprintf(buf, "%u\n", attr_dht11(dev)->exchanges);
}
static DEVICE_ATTR_RO(exchanges);

static struct attribute *test_dht11_attrs[] = {
	&dev_attr_record.attr,
	&dev_attr_wake_us.attr,
	&dev_attr_rest_ms.attr,
	&dev_attr_present.attr,
	&dev_attr_stuck_low.attr,
	&dev_attr_stall_after.attr,
	&dev_attr_jitter_us.attr,
	&dev_attr_exchanges.attr,
	NULL
};

static const struct attribute_group test_dht11_group = {
	.attrs = test_dht11_attrs,
};

/* 4.5 renamed the chip's device and let it carry the driver's data. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 5, 0)
static int test_dht11_add_chip(struct test_dht11 *dht)
{
	dht->gc.parent = dht->dev;
	return gpiochip_add_data(&dht->gc, dht);
}
#else
static int test_dht11_add_chip(struct test_dht11 *dht)
{
	dht->gc.dev = dht->dev;
	dht->gc.of_node = dht->dev->of_node;
	return gpiochip_add(&dht->gc);
}
#endif

static int test_dht11_probe(struct platform_device *pdev)
{
	struct test_dht11 *dht;
	int ret;

	dht = devm_kzalloc(&pdev->dev, sizeof(*dht), GFP_KERNEL);
	if (!dht)
		return -ENOMEM;
	spin_lock_init(&dht->lock);
	dht->dev = &pdev->dev;
	dht->wake_us = 30;
	dht->rest_ms = 1000;
	dht->present = true;
	dht->stall_after = -1;
	dht->gc.label = dev_name(&pdev->dev);
	dht->gc.owner = THIS_MODULE;
	dht->gc.base = -1;
	dht->gc.ngpio = 1;
	dht->gc.get = test_dht11_get;
	dht->gc.set = test_dht11_set;
	dht->gc.direction_input = test_dht11_direction_input;
	dht->gc.direction_output = test_dht11_direction_output;
	platform_set_drvdata(pdev, dht);

	ret = test_dht11_add_chip(dht);
	if (ret)
		return ret;
	ret = sysfs_create_group(&pdev->dev.kobj, &test_dht11_group);
	if (ret)
		gpiochip_remove(&dht->gc);
	return ret;
}

static void test_dht11_remove_chip(struct platform_device *pdev)
{
	struct test_dht11 *dht = platform_get_drvdata(pdev);

	sysfs_remove_group(&pdev->dev.kobj, &test_dht11_group);
	gpiochip_remove(&dht->gc);
}

/* 6.11 made the platform remove callback return nothing. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 11, 0)
static void test_dht11_remove(struct platform_device *pdev)
{
	test_dht11_remove_chip(pdev);
}
#else
static int test_dht11_remove(struct platform_device *pdev)
{
	test_dht11_remove_chip(pdev);
	return 0;
}
#endif

static const struct of_device_id test_dht11_of_match[] = {
	{ .compatible = "sensorkit,test-dht11" },
	{ }
};
MODULE_DEVICE_TABLE(of, test_dht11_of_match);

static struct platform_driver test_dht11_driver = {
	.probe = test_dht11_probe,
	.remove = test_dht11_remove,
	.driver = {
		.name = "test-dht11",
		.of_match_table = test_dht11_of_match,
	},
};
module_platform_driver(test_dht11_driver);

MODULE_DESCRIPTION("An emulated DHT11 on a GPIO line, for the virtual board");
MODULE_LICENSE("GPL");
