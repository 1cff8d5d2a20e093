// SPDX-License-Identifier: GPL-2.0
/*
 * A GPIO controller with no hardware behind it, for the emulated i.MX6UL
 * board on Linux 4.1, whose own GPIO inputs QEMU cannot drive and which has
 * no gpio-sim. Its interrupts behave as the i.MX's (gpio-mxc): an edge of
 * the line's trigger type is latched even while the line is masked, and a
 * new trigger type clears the latch. It takes gpio-sim's device-tree binding
 * (a "gpio-simulator" node whose child is the bank) and its user-space knob:
 * each line has a directory sim_gpioN on the device, whose "pull" file
 * ("pull-up" or "pull-down") sets the level an input line reads and whose
 * "value" file shows the line's level. A pull that changes an input's level
 * raises the line's edge interrupt, from hard-interrupt context as a real
 * controller would: a few microseconds later, from a high-resolution timer
 * (a self-IPI, which irq_work would take, never arrives on 4.1 with
 * QEMU's one-CPU GIC).
 */
#include <linux/device.h>
#include <linux/gpio/driver.h>
#include <linux/interrupt.h>
#include <linux/irq.h>
#include <linux/hrtimer.h>
#include <linux/irqdomain.h>
#include <linux/module.h>
#include <linux/of.h>
#include <linux/platform_device.h>
#include <linux/slab.h>
#include <linux/spinlock.h>
#include <linux/string.h>
#include <linux/sysfs.h>

/* How long after the pull the controller interrupts. */
#define TEST_GPIO_IRQ_DELAY_NS	10000

struct test_gpio;

struct test_gpio_line {
	struct test_gpio *chip;
	unsigned int offset;
	bool pull_up;
	bool output;
	bool driven_high;
	bool irq_unmasked;
	unsigned int irq_type;
	bool irq_pending;
	char group_name[16];
	struct dev_ext_attribute pull_attr;
	struct dev_ext_attribute value_attr;
	struct attribute *attrs[3];
	struct attribute_group group;
};

struct test_gpio {
	struct gpio_chip gc;
	struct device *dev;
	/* Guards every line's state; taken from interrupt context too. */
	spinlock_t lock;
	struct hrtimer raise;
	struct test_gpio_line *lines;
};

static struct test_gpio *to_test_gpio(struct gpio_chip *gc)
{
	return container_of(gc, struct test_gpio, gc);
}

static bool test_gpio_level(const struct test_gpio_line *line)
{
	return line->output ? line->driven_high : line->pull_up;
}

static bool test_gpio_edge_wanted(const struct test_gpio_line *line, bool rose)
{
	unsigned int edge = rose ? IRQ_TYPE_EDGE_RISING : IRQ_TYPE_EDGE_FALLING;

	return line->irq_type & edge;
}

/* The interrupt of a latched edge, once the line is unmasked. */
static void test_gpio_raise_later(struct test_gpio_line *line)
{
	if (line->irq_pending && line->irq_unmasked)
		hrtimer_start(&line->chip->raise,
			      ns_to_ktime(TEST_GPIO_IRQ_DELAY_NS),
			      HRTIMER_MODE_REL);
}

/* Runs in hard-interrupt context, as a controller's interrupt would. */
static enum hrtimer_restart test_gpio_raise(struct hrtimer *timer)
{
	struct test_gpio *chip = container_of(timer, struct test_gpio, raise);
	unsigned int offset;
	unsigned long flags;
	bool pending;

	for (offset = 0; offset < chip->gc.ngpio; offset++) {
		spin_lock_irqsave(&chip->lock, flags);
		pending = chip->lines[offset].irq_pending &&
			  chip->lines[offset].irq_unmasked;
		if (pending)
			chip->lines[offset].irq_pending = false;
		spin_unlock_irqrestore(&chip->lock, flags);
		if (pending)
			generic_handle_irq(irq_find_mapping(chip->gc.irqdomain,
							    offset));
	}
	return HRTIMER_NORESTART;
}

/*
 * Sets an input's level from outside; the caller holds the lock. As the
 * i.MX's status register does, an edge of the line's trigger type is
 * latched while the line is masked too, and interrupts once unmasked.
 */
static void test_gpio_pull(struct test_gpio_line *line, bool up)
{
	bool was = test_gpio_level(line);

	line->pull_up = up;
	if (test_gpio_level(line) != was &&
	    test_gpio_edge_wanted(line, test_gpio_level(line))) {
		line->irq_pending = true;
		test_gpio_raise_later(line);
	}
}

static int test_gpio_get(struct gpio_chip *gc, unsigned int offset)
{
	struct test_gpio *chip = to_test_gpio(gc);
	unsigned long flags;
	int level;

	spin_lock_irqsave(&chip->lock, flags);
	level = test_gpio_level(&chip->lines[offset]);
	spin_unlock_irqrestore(&chip->lock, flags);
	return level;
}

static void test_gpio_set(struct gpio_chip *gc, unsigned int offset, int value)
{
	struct test_gpio *chip = to_test_gpio(gc);
	unsigned long flags;

	spin_lock_irqsave(&chip->lock, flags);
	chip->lines[offset].driven_high = value;
	spin_unlock_irqrestore(&chip->lock, flags);
}

static int test_gpio_direction_input(struct gpio_chip *gc, unsigned int offset)
{
	struct test_gpio *chip = to_test_gpio(gc);
	unsigned long flags;

	spin_lock_irqsave(&chip->lock, flags);
	chip->lines[offset].output = false;
	spin_unlock_irqrestore(&chip->lock, flags);
	return 0;
}

static int test_gpio_direction_output(struct gpio_chip *gc,
				      unsigned int offset, int value)
{
	struct test_gpio *chip = to_test_gpio(gc);
	unsigned long flags;

	spin_lock_irqsave(&chip->lock, flags);
	chip->lines[offset].driven_high = value;
	chip->lines[offset].output = true;
	spin_unlock_irqrestore(&chip->lock, flags);
	return 0;
}

static struct test_gpio_line *test_gpio_irq_line(struct irq_data *d)
{
	struct test_gpio *chip = to_test_gpio(irq_data_get_irq_chip_data(d));

	return &chip->lines[irqd_to_hwirq(d)];
}

static void test_gpio_irq_unmasked(struct irq_data *d, bool unmasked)
{
	struct test_gpio_line *line = test_gpio_irq_line(d);
	unsigned long flags;

	spin_lock_irqsave(&line->chip->lock, flags);
	line->irq_unmasked = unmasked;
	test_gpio_raise_later(line);
	spin_unlock_irqrestore(&line->chip->lock, flags);
}

static void test_gpio_irq_mask(struct irq_data *d)
{
	test_gpio_irq_unmasked(d, false);
}

static void test_gpio_irq_unmask(struct irq_data *d)
{
	test_gpio_irq_unmasked(d, true);
}

static int test_gpio_irq_set_type(struct irq_data *d, unsigned int type)
{
	struct test_gpio_line *line = test_gpio_irq_line(d);
	unsigned long flags;

	if (type & ~IRQ_TYPE_EDGE_BOTH)
		return -EINVAL;
	spin_lock_irqsave(&line->chip->lock, flags);
	line->irq_type = type;
	/* The i.MX driver clears the line's status with a new type. */
	line->irq_pending = false;
	spin_unlock_irqrestore(&line->chip->lock, flags);
	return 0;
}

static struct irq_chip test_gpio_irq_chip = {
	.name = "test-gpio",
	.irq_mask = test_gpio_irq_mask,
	.irq_unmask = test_gpio_irq_unmask,
	.irq_set_type = test_gpio_irq_set_type,
};

static struct test_gpio_line *attr_line(struct device_attribute *attr)
{
	return container_of(attr, struct dev_ext_attribute, attr)->var;
}

static ssize_t pull_show(struct device *dev, struct device_attribute *attr,
			 char *buf)
{
	struct test_gpio_line *line = attr_line(attr);

	return sprintf(buf, "%s\n", line->pull_up ? "pull-up" : "pull-down");
}

static ssize_t pull_store(struct device *dev, struct device_attribute *attr,
			  const char *buf, size_t len)
{
	struct test_gpio_line *line = attr_line(attr);
	unsigned long flags;
	bool up;

	if (sysfs_streq(buf, "pull-up"))
		up = true;
	else if (sysfs_streq(buf, "pull-down"))
		up = false;
	else
		return -EINVAL;

	spin_lock_irqsave(&line->chip->lock, flags);
	test_gpio_pull(line, up);
	spin_unlock_irqrestore(&line->chip->lock, flags);
	return len;
}

static ssize_t value_show(struct device *dev, struct device_attribute *attr,
			  char *buf)
{
	struct test_gpio_line *line = attr_line(attr);

	return sprintf(buf, "%d\n",
		       test_gpio_get(&line->chip->gc, line->offset));
}

static void test_gpio_init_attr(struct dev_ext_attribute *ext,
				struct test_gpio_line *line, const char *name,
				umode_t mode,
				ssize_t (*show)(struct device *,
						struct device_attribute *,
						char *),
				ssize_t (*store)(struct device *,
						 struct device_attribute *,
						 const char *, size_t))
{
	sysfs_attr_init(&ext->attr.attr);
	ext->attr.attr.name = name;
	ext->attr.attr.mode = mode;
	ext->attr.show = show;
	ext->attr.store = store;
	ext->var = line;
}

/* The directory sim_gpioN of each line, as gpio-sim makes them. */
static int test_gpio_add_knobs(struct test_gpio *chip)
{
	unsigned int offset;
	int ret;

	for (offset = 0; offset < chip->gc.ngpio; offset++) {
		struct test_gpio_line *line = &chip->lines[offset];

		test_gpio_init_attr(&line->pull_attr, line, "pull", 0644,
				    pull_show, pull_store);
		test_gpio_init_attr(&line->value_attr, line, "value", 0444,
				    value_show, NULL);
		line->attrs[0] = &line->pull_attr.attr.attr;
		line->attrs[1] = &line->value_attr.attr.attr;
		snprintf(line->group_name, sizeof(line->group_name),
			 "sim_gpio%u", offset);
		line->group.name = line->group_name;
		line->group.attrs = line->attrs;
		ret = sysfs_create_group(&chip->dev->kobj, &line->group);
		if (ret)
			goto err_remove;
	}
	return 0;

err_remove:
	while (offset--)
		sysfs_remove_group(&chip->dev->kobj, &chip->lines[offset].group);
	return ret;
}

static void test_gpio_remove_knobs(struct test_gpio *chip)
{
	unsigned int offset;

	for (offset = 0; offset < chip->gc.ngpio; offset++)
		sysfs_remove_group(&chip->dev->kobj, &chip->lines[offset].group);
}

static int test_gpio_probe(struct platform_device *pdev)
{
	struct device_node *bank;
	struct test_gpio *chip;
	unsigned int offset;
	u32 ngpio;
	int ret;

	bank = of_get_next_available_child(pdev->dev.of_node, NULL);
	if (!bank || of_property_read_u32(bank, "ngpios", &ngpio) || !ngpio) {
		of_node_put(bank);
		dev_err(&pdev->dev, "needs a bank with ngpios\n");
		return -EINVAL;
	}

	chip = devm_kzalloc(&pdev->dev, sizeof(*chip), GFP_KERNEL);
	if (!chip) {
		ret = -ENOMEM;
		goto err_put_bank;
	}
	chip->lines = devm_kcalloc(&pdev->dev, ngpio, sizeof(*chip->lines),
				   GFP_KERNEL);
	if (!chip->lines) {
		ret = -ENOMEM;
		goto err_put_bank;
	}
	for (offset = 0; offset < ngpio; offset++) {
		chip->lines[offset].chip = chip;
		chip->lines[offset].offset = offset;
	}
	spin_lock_init(&chip->lock);
	hrtimer_init(&chip->raise, CLOCK_MONOTONIC, HRTIMER_MODE_REL);
	chip->raise.function = test_gpio_raise;
	chip->dev = &pdev->dev;

	chip->gc.label = dev_name(&pdev->dev);
	chip->gc.dev = &pdev->dev;
	chip->gc.of_node = bank;
	chip->gc.owner = THIS_MODULE;
	chip->gc.base = -1;
	chip->gc.ngpio = ngpio;
	chip->gc.get = test_gpio_get;
	chip->gc.set = test_gpio_set;
	chip->gc.direction_input = test_gpio_direction_input;
	chip->gc.direction_output = test_gpio_direction_output;

	ret = gpiochip_add(&chip->gc);
	if (ret)
		goto err_put_bank;
	ret = gpiochip_irqchip_add(&chip->gc, &test_gpio_irq_chip, 0,
				   handle_simple_irq, IRQ_TYPE_NONE);
	if (ret)
		goto err_remove_chip;
	ret = test_gpio_add_knobs(chip);
	if (ret)
		goto err_remove_chip;

	platform_set_drvdata(pdev, chip);
	return 0;

err_remove_chip:
	gpiochip_remove(&chip->gc);
err_put_bank:
	of_node_put(bank);
	return ret;
}

static int test_gpio_remove(struct platform_device *pdev)
{
	struct test_gpio *chip = platform_get_drvdata(pdev);

	/* No new edges, and none still to raise, before the lines go. */
	test_gpio_remove_knobs(chip);
	hrtimer_cancel(&chip->raise);
	gpiochip_remove(&chip->gc);
	of_node_put(chip->gc.of_node);
	return 0;
}

static const struct of_device_id test_gpio_of_match[] = {
	{ .compatible = "gpio-simulator" },
	{ }
};
MODULE_DEVICE_TABLE(of, test_gpio_of_match);

static struct platform_driver test_gpio_driver = {
	.probe = test_gpio_probe,
	.remove = test_gpio_remove,
	.driver = {
		.name = "test-gpio",
		.of_match_table = test_gpio_of_match,
	},
};
module_platform_driver(test_gpio_driver);

MODULE_DESCRIPTION("GPIO lines set from user space, for the virtual board");
MODULE_LICENSE("GPL");
