// SPDX-License-Identifier: GPL-2.0
/*
 * The board's PWM controller, the i.MX6UL's, as pwm-imx27 drives it, for the
 * virtual board, which has none: the same operations, the registers that
 * driver writes kept here and read back as it reads them, so the PWM core
 * sees the rounded state the board's hardware would hold. Since 6.9 the core
 * allocates the chip with its private data, and since 6.7 it sets the owner.
 */
#include <linux/bitfield.h>
#include <linux/bits.h>
#include <linux/err.h>
#include <linux/math64.h>
#include <linux/module.h>
#include <linux/mod_devicetable.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>
#include <linux/time64.h>
#include <linux/types.h>
#include <linux/version.h>

/*
 * The per clock pwm-imx27 counts: the 6UL's perclk, which the clk-imx6ul.c
 * of 6.1 and 6.12 moves from ipg (66 MHz) to the 24 MHz oscillator at boot.
 */
#define TEST_PWM_CLK_PER_HZ		24000000ULL

#define TEST_PWMCR_EN			BIT(0)
#define TEST_PWMCR_PRESCALER		GENMASK(15, 4)
#define TEST_PWMCR_POUTC		GENMASK(19, 18)
#define TEST_PWMCR_POUTC_INVERTED	1

#define TEST_PWMPR_RESET		0xfffe

struct test_pwm {
#if LINUX_VERSION_CODE < KERNEL_VERSION(6, 9, 0)
	struct pwm_chip chip;
#endif
	/* PWMCR, PWMPR and PWMSAR */
	u32 cr;
	u32 pr;
	u32 sar;
	/* pwm-imx27's own copy: PWMSAR cannot be read while stopped. */
	unsigned int duty_cycle;
};

#if LINUX_VERSION_CODE >= KERNEL_VERSION(6, 9, 0)
static struct test_pwm *to_test_pwm(struct pwm_chip *chip)
{
	return pwmchip_get_drvdata(chip);
}

static struct pwm_chip *test_pwm_alloc(struct platform_device *pdev)
{
	return devm_pwmchip_alloc(&pdev->dev, 1, sizeof(struct test_pwm));
}
#else
static struct test_pwm *to_test_pwm(struct pwm_chip *chip)
{
	return container_of(chip, struct test_pwm, chip);
}

static struct pwm_chip *test_pwm_alloc(struct platform_device *pdev)
{
	struct test_pwm *tp;

	tp = devm_kzalloc(&pdev->dev, sizeof(*tp), GFP_KERNEL);
	if (!tp)
		return ERR_PTR(-ENOMEM);
	tp->chip.dev = &pdev->dev;
	tp->chip.npwm = 1;
	return &tp->chip;
}
#endif

static int test_pwm_get_state(struct pwm_chip *chip, struct pwm_device *pwm,
			      struct pwm_state *state)
{
	struct test_pwm *tp = to_test_pwm(chip);
	u32 prescaler = FIELD_GET(TEST_PWMCR_PRESCALER, tp->cr) + 1;
	u32 duty;
	u64 tmp;

	state->enabled = tp->cr & TEST_PWMCR_EN;
	if (FIELD_GET(TEST_PWMCR_POUTC, tp->cr) == TEST_PWMCR_POUTC_INVERTED)
		state->polarity = PWM_POLARITY_INVERSED;
	else
		state->polarity = PWM_POLARITY_NORMAL;

	/* A period lasts PWMPR + 2 cycles. */
	tmp = NSEC_PER_SEC * (u64)(tp->pr + 2) * prescaler;
	state->period = DIV_ROUND_UP_ULL(tmp, TEST_PWM_CLK_PER_HZ);

	duty = state->enabled ? tp->sar : tp->duty_cycle;
	tmp = NSEC_PER_SEC * (u64)duty * prescaler;
	state->duty_cycle = DIV_ROUND_UP_ULL(tmp, TEST_PWM_CLK_PER_HZ);
	return 0;
}

static int test_pwm_apply(struct pwm_chip *chip, struct pwm_device *pwm,
			  const struct pwm_state *state)
{
	unsigned long period_cycles, duty_cycles, prescale;
	struct test_pwm *tp = to_test_pwm(chip);
	unsigned long long c;

	c = TEST_PWM_CLK_PER_HZ * state->period;
	do_div(c, NSEC_PER_SEC);
	period_cycles = c;
	prescale = period_cycles / 0x10000 + 1;
	period_cycles /= prescale;

	c = TEST_PWM_CLK_PER_HZ * state->duty_cycle;
	do_div(c, NSEC_PER_SEC);
	duty_cycles = c;
	duty_cycles /= prescale;

	if (period_cycles > 2)
		period_cycles -= 2;
	else
		period_cycles = 0;

	tp->sar = duty_cycles;
	tp->pr = period_cycles;
	tp->duty_cycle = duty_cycles;
	tp->cr = FIELD_PREP(TEST_PWMCR_PRESCALER, prescale - 1);
	if (state->polarity == PWM_POLARITY_INVERSED)
		tp->cr |= FIELD_PREP(TEST_PWMCR_POUTC,
				     TEST_PWMCR_POUTC_INVERTED);
	if (state->enabled)
		tp->cr |= TEST_PWMCR_EN;
	return 0;
}

static const struct pwm_ops test_pwm_ops = {
	.apply = test_pwm_apply,
	.get_state = test_pwm_get_state,
#if LINUX_VERSION_CODE < KERNEL_VERSION(6, 7, 0)
	.owner = THIS_MODULE,
#endif
};

static int test_pwm_probe(struct platform_device *pdev)
{
	struct pwm_chip *chip = test_pwm_alloc(pdev);

	if (IS_ERR(chip))
		return PTR_ERR(chip);
	/* The controller out of reset; PWMCR and PWMSAR reset to 0. */
	to_test_pwm(chip)->pr = TEST_PWMPR_RESET;
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

MODULE_DESCRIPTION("The i.MX6UL's PWM controller for the virtual board");
MODULE_LICENSE("GPL");
