// SPDX-License-Identifier: GPL-2.0
/*
 * A one-channel PWM provider with no hardware behind it, for the virtual
 * board: the PWM core keeps each setting, and debugfs shows it. Before 4.7
 * the core neither took whole states nor showed them, so there the provider
 * takes the settings one by one and shows them itself, as later cores do.
 * Since 6.9 the core allocates the chip, and since 6.7 it sets the owner.
 */
#include <linux/err.h>
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/seq_file.h>
#include <linux/version.h>

#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 7, 0)
static int test_pwm_apply(struct pwm_chip *chip, struct pwm_device *pwm,
			  const struct pwm_state *state)
{
	return 0;
}

static const struct pwm_ops test_pwm_ops = {
	.apply = test_pwm_apply,
#if LINUX_VERSION_CODE < KERNEL_VERSION(6, 7, 0)
	.owner = THIS_MODULE,
#endif
};

static int test_pwm_add(struct platform_device *pdev, struct pwm_chip *chip)
{
	return devm_pwmchip_add(&pdev->dev, chip);
}
#else
static int test_pwm_config(struct pwm_chip *chip, struct pwm_device *pwm,
			   int duty_ns, int period_ns)
{
	return 0;
}

static int test_pwm_set_polarity(struct pwm_chip *chip,
				 struct pwm_device *pwm,
				 enum pwm_polarity polarity)
{
	return 0;
}

static int test_pwm_enable(struct pwm_chip *chip, struct pwm_device *pwm)
{
	return 0;
}

static void test_pwm_disable(struct pwm_chip *chip, struct pwm_device *pwm)
{
}

/* The line later cores print for each channel. */
static void test_pwm_dbg_show(struct pwm_chip *chip, struct seq_file *s)
{
	unsigned int i;

	for (i = 0; i < chip->npwm; i++) {
		struct pwm_device *pwm = &chip->pwms[i];

		seq_printf(s, " pwm-%-3d (%-20.20s):", i, pwm->label);
		if (test_bit(PWMF_REQUESTED, &pwm->flags))
			seq_puts(s, " requested");
		if (test_bit(PWMF_ENABLED, &pwm->flags))
			seq_puts(s, " enabled");
		seq_printf(s, " period: %u ns duty: %u ns polarity: %s\n",
			   pwm_get_period(pwm), pwm_get_duty_cycle(pwm),
			   pwm->polarity == PWM_POLARITY_NORMAL ?
			   "normal" : "inverse");
	}
}

static const struct pwm_ops test_pwm_ops = {
	.config = test_pwm_config,
	.set_polarity = test_pwm_set_polarity,
	.enable = test_pwm_enable,
	.disable = test_pwm_disable,
	.dbg_show = test_pwm_dbg_show,
	.owner = THIS_MODULE,
};

static int test_pwm_add(struct platform_device *pdev, struct pwm_chip *chip)
{
	int ret;

	chip->base = -1;
	ret = pwmchip_add(chip);
	if (!ret)
		platform_set_drvdata(pdev, chip);
	return ret;
}

static int test_pwm_remove(struct platform_device *pdev)
{
	return pwmchip_remove(platform_get_drvdata(pdev));
}
#endif

#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 9, 0)
static struct pwm_chip *test_pwm_alloc(struct platform_device *pdev)
{
	return devm_pwmchip_alloc(&pdev->dev, 1, 0);
}
#else
static struct pwm_chip *test_pwm_alloc(struct platform_device *pdev)
{
	struct pwm_chip *chip;

	chip = devm_kzalloc(&pdev->dev, sizeof(*chip), GFP_KERNEL);
	if (!chip)
		return ERR_PTR(-ENOMEM);
	chip->dev = &pdev->dev;
	chip->npwm = 1;
	return chip;
}
#endif

static int test_pwm_probe(struct platform_device *pdev)
{
	struct pwm_chip *chip = test_pwm_alloc(pdev);

	if (IS_ERR(chip))
		return PTR_ERR(chip);
	chip->ops = &test_pwm_ops;
	return test_pwm_add(pdev, chip);
}

static const struct of_device_id test_pwm_of_match[] = {
	{ .compatible = "sensorkit,test-pwm" },
	{ }
};
MODULE_DEVICE_TABLE(of, test_pwm_of_match);

static struct platform_driver test_pwm_driver = {
	.probe = test_pwm_probe,
#if LINUX_VERSION_CODE < KERNEL_VERSION(4, 7, 0)
	.remove = test_pwm_remove,
#endif
	.driver = {
		.name = "test-pwm",
		.of_match_table = test_pwm_of_match,
	},
};
module_platform_driver(test_pwm_driver);

MODULE_DESCRIPTION("PWM provider without hardware, for the virtual board");
MODULE_LICENSE("GPL");
