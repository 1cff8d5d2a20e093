// The PWM core: finding a node's channel, requesting and releasing it
// (managed or not), and the consumer calls of 4.1.
#include "ksim/hw/pwm_channel.hpp"

#include <ksim/runtime.h>
#include <linux/device.h>
#include <linux/of.h>
#include <linux/printk.h>

#include <string>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace {

using ksim::hw::PwmChannel;

PwmChannel &channel_of(const struct pwm_device *pwm)
{
	return ksim::hw::pwm_channel(pwm->pwm);
}

std::string channel_name(const PwmChannel &ch)
{
	return "PWM channel " + std::to_string(ch.number());
}

// Records the call; a channel that nobody holds must not be touched.
bool record_on_held(PwmChannel &ch, const std::string &call)
{
	ch.record(call);
	if (ch.held())
		return true;
	ksim::violations::report(channel_name(ch) + ": " + call + " after its release");
	return false;
}

// The channel named by the first cell of the node's "pwms" property.
struct pwm_device *request_for_node(struct device_node *np, const char *con_id)
{
	ksim_might_sleep("of_pwm_get");
	if (int error = ksim_fault("of_pwm_get"))
		return static_cast<pwm_device *>(ERR_PTR(error));
	u32 number;
	if (!np || of_property_read_u32(np, "pwms", &number))
		return static_cast<pwm_device *>(ERR_PTR(-ENOENT));
	// No controller serves the channel (yet): the kernel asks to try later.
	if (number >= ksim::hw::pwm_channel_count)
		return static_cast<pwm_device *>(ERR_PTR(-EPROBE_DEFER));
	PwmChannel &ch = ksim::hw::pwm_channel(number);
	std::string label = con_id ? con_id : np->name;
	ch.record("request " + label);
	if (ch.held())
		return static_cast<pwm_device *>(ERR_PTR(-EBUSY));
	ch.request(label);
	return ch.device();
}

void release_managed(void *pwm)
{
	pwm_put(static_cast<pwm_device *>(pwm));
}

}  // namespace

namespace ksim::detail {

void reset_pwm()
{
	for (unsigned n = 0; n < hw::pwm_channel_count; n++)
		hw::pwm_channel(n).reset(n);
}

}  // namespace ksim::detail

extern "C" {

int pwm_config(struct pwm_device *pwm, int duty_ns, int period_ns)
{
	if (!pwm)
		return -EINVAL;
	PwmChannel &ch = channel_of(pwm);
	if (!record_on_held(ch, "config " + std::to_string(duty_ns) + " " +
					std::to_string(period_ns)))
		return -EINVAL;
	if (duty_ns < 0 || period_ns <= 0 || duty_ns > period_ns)
		return -EINVAL;
	if (int error = ksim_fault("pwm_config"))
		return error;
	ch.configure(duty_ns, period_ns);
	return 0;
}

int pwm_set_polarity(struct pwm_device *pwm, enum pwm_polarity polarity)
{
	if (!pwm)
		return -EINVAL;
	PwmChannel &ch = channel_of(pwm);
	const char *name = polarity == PWM_POLARITY_NORMAL ? "normal" : "inversed";
	if (!record_on_held(ch, std::string("polarity ") + name))
		return -EINVAL;
	// 4.1 changes the polarity of a stopped output only.
	if (ch.enabled())
		return -EBUSY;
	if (int error = ksim_fault("pwm_set_polarity"))
		return error;
	ch.set_polarity(polarity);
	return 0;
}

int pwm_enable(struct pwm_device *pwm)
{
	if (!pwm)
		return -EINVAL;
	PwmChannel &ch = channel_of(pwm);
	if (!record_on_held(ch, "enable"))
		return -EINVAL;
	if (int error = ksim_fault("pwm_enable"))
		return error;
	ch.set_enabled(true);
	return 0;
}

void pwm_disable(struct pwm_device *pwm)
{
	if (!pwm)
		return;
	PwmChannel &ch = channel_of(pwm);
	if (record_on_held(ch, "disable"))
		ch.set_enabled(false);
}

void pwm_put(struct pwm_device *pwm)
{
	if (!pwm)
		return;
	ksim_might_sleep("pwm_put");
	PwmChannel &ch = channel_of(pwm);
	ch.record("release");
	if (!ch.held()) {
		pr_warn("PWM device already freed\n");
		ksim::violations::report(channel_name(ch) + " released twice");
		return;
	}
	ch.release();
}

/* 4.1 keeps pwm_free as the old name of pwm_put. */
void pwm_free(struct pwm_device *pwm)
{
	pwm_put(pwm);
}

struct pwm_device *of_pwm_get(struct device_node *np, const char *con_id)
{
	return request_for_node(np, con_id);
}

struct pwm_device *pwm_get(struct device *dev, const char *con_id)
{
	if (!dev || !dev->of_node)
		return static_cast<pwm_device *>(ERR_PTR(-ENODEV));
	return request_for_node(dev->of_node, con_id);
}

struct pwm_device *devm_pwm_get(struct device *dev, const char *con_id)
{
	struct pwm_device *pwm = pwm_get(dev, con_id);
	if (IS_ERR(pwm))
		return pwm;
	if (int error = devm_add_action(dev, release_managed, pwm)) {
		pwm_put(pwm);
		return static_cast<pwm_device *>(ERR_PTR(error));
	}
	return pwm;
}

}  // extern "C"
