// SPDX-License-Identifier: GPL-2.0
/*
 * A one-channel PWM provider with no hardware behind it, for the virtual
 * board: the PWM core keeps each applied state, and debugfs shows it.
 */
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>

static int test_pwm_apply(struct pwm_chip *chip, struct pwm_device *pwm,
			  const struct pwm_state *state)
{
	return 0;
}

static const struct pwm_ops test_pwm_ops = {
	.apply = test_pwm_apply,
	.owner = THIS_MODULE,
};

static int test_pwm_probe(struct platform_device *pdev)
{
	struct pwm_chip *chip;

	chip = devm_kzalloc(&pdev->dev, sizeof(*chip), GFP_KERNEL);
	if (!chip)
		return -ENOMEM;

	chip->dev = &pdev->dev;
	chip->ops = &test_pwm_ops;
	chip->npwm = 1;
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
