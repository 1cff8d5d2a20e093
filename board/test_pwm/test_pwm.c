// SPDX-License-Identifier: GPL-2.0
/*
 * A one-channel PWM provider with no hardware behind it, for the virtual
 * board: the PWM core keeps each setting, and debugfs shows it. Since 6.9
 * the core allocates the chip, and since 6.7 it sets the owner.
 */
#include <linux/err.h>
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/version.h>

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
	return devm_pwmchip_add(&pdev->dev, chip);
}

static const struct of_device_id test_pwm_of_match[] = {
	{ .compatible = "sensorkit,test-pwm" },
	{ }
};
MODULE_DEVICE_TABLE(of, test_pwm_of_match);

static struct platform_driver test_pwm_driver = {
	.probe = test_pwm_probe,
	.driver = {
		.name = "test-pwm",
		.of_match_table = test_pwm_of_match,
	},
};
module_platform_driver(test_pwm_driver);

MODULE_DESCRIPTION("PWM provider without hardware, for the virtual board");
MODULE_LICENSE("GPL");
