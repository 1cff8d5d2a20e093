// The PWM core of 4.1: finding a node's channel, requesting it for a
// device until the device is unbound, and the consumer calls, which reach
// the controller through its operations. The channel state is the core's,
// in each struct pwm_device. The controller is the board's pwm-imx, whose
// operations accept what the core asks unless a test injects a fault.
#include <linux/device.h>
#include <linux/of.h>
#include <linux/pwm.h>

#include <array>

#include "internal.hpp"

namespace {

using ksim::pwm::channels;

std::array<pwm_device, channels> &all()
{
	static std::array<pwm_device, channels> devices;
	return devices;
}

// pwm-imx's operations: its clocks may fail to start, as a fault.
int imx_config(struct pwm_chip *, struct pwm_device *, int, int)
{
	return ksim_fault("pwm_config");
}

int imx_enable(struct pwm_chip *, struct pwm_device *)
{
	return ksim_fault("pwm_enable");
}

void imx_disable(struct pwm_chip *, struct pwm_device *) {}

int set_polarity(struct pwm_chip *, struct pwm_device *, enum pwm_polarity)
{
	return ksim_fault("pwm_set_polarity");
}

// pwm-imx of 4.1 has no set_polarity; the second table is a controller
// that has one.
constexpr pwm_ops imx_ops = {imx_config, nullptr, imx_enable, imx_disable};
constexpr pwm_ops polarity_ops = {imx_config, set_polarity, imx_enable, imx_disable};

pwm_chip &chip()
{
	static pwm_chip controller;
	return controller;
}

// Every consumer call is an event; one on a released channel a violation.
bool requested(struct pwm_device *pwm, const std::string &call)
{
	ksim::detail::event("pwm", "pwm" + std::to_string(pwm->pwm) + " " + call);
	if (pwm->flags & PWMF_REQUESTED)
		return true;
	ksim::violations::report("PWM channel " + std::to_string(pwm->pwm) + ": " + call +
				 " after its release");
	return false;
}

// The channel named by the first cell of the node's "pwms" property.
struct pwm_device *of_pwm_get(struct device_node *np, const char *con_id)
{
	ksim_might_sleep("of_pwm_get");
	if (int error = ksim_fault("of_pwm_get"))
		return static_cast<pwm_device *>(ERR_PTR(error));
	// A name is looked up in "pwm-names", which no node here has.
	if (con_id)
		return static_cast<pwm_device *>(ERR_PTR(-EINVAL));
	const ksim::dt::Node *node = ksim::detail::node_of(np);
	if (!node || !node->cells.count("pwms") || node->cells.at("pwms").empty())
		return static_cast<pwm_device *>(ERR_PTR(-ENOENT));
	const unsigned number = node->cells.at("pwms")[0];
	// No controller serves the channel (yet): the kernel asks to try later.
	if (number >= channels)
		return static_cast<pwm_device *>(ERR_PTR(-EPROBE_DEFER));
	pwm_device *pwm = &all()[number];
	ksim::detail::event("pwm", "pwm" + std::to_string(pwm->pwm) + " request " + np->name);
	if (pwm->flags & PWMF_REQUESTED)
		return static_cast<pwm_device *>(ERR_PTR(-EBUSY));
	pwm->flags |= PWMF_REQUESTED;
	pwm->label = np->name;
	return pwm;
}

// pwm_put as devres calls it. The output goes on as it was.
void put(void *data)
{
	auto *pwm = static_cast<pwm_device *>(data);
	ksim_might_sleep("pwm_put");
	ksim::detail::event("pwm", "pwm" + std::to_string(pwm->pwm) + " release");
	pwm->flags &= ~PWMF_REQUESTED;
	pwm->label = nullptr;
}

}  // namespace

struct pwm_device &ksim::pwm::channel(unsigned number)
{
	return all().at(number);
}

void ksim::pwm::has_polarity_operation(bool present)
{
	chip().ops = present ? &polarity_ops : &imx_ops;
}

void ksim::detail::reset_pwm()
{
	pwm::has_polarity_operation(false);
	for (unsigned n = 0; n < channels; n++)
		all()[n] = {nullptr, 0, n, n, &chip(), 0, 0, PWM_POLARITY_NORMAL};
}

extern "C" {

int pwm_config(struct pwm_device *pwm, int duty_ns, int period_ns)
{
	if (!pwm || !requested(pwm, ksim::detail::format("config %d %d", duty_ns, period_ns)))
		return -EINVAL;
	if (duty_ns < 0 || period_ns <= 0 || duty_ns > period_ns)
		return -EINVAL;
	if (int error = pwm->chip->ops->config(pwm->chip, pwm, duty_ns, period_ns))
		return error;
	pwm->duty_cycle = static_cast<unsigned>(duty_ns);
	pwm->period = static_cast<unsigned>(period_ns);
	return 0;
}

int pwm_set_polarity(struct pwm_device *pwm, enum pwm_polarity polarity)
{
	const char *name = polarity == PWM_POLARITY_NORMAL ? "normal" : "inversed";
	if (!pwm || !requested(pwm, std::string("polarity ") + name))
		return -EINVAL;
	// 4.1 refuses a controller without the operation before anything else,
	// even a polarity the output already has.
	if (!pwm->chip->ops->set_polarity)
		return -ENOSYS;
	// It changes the polarity of a stopped output only.
	if (pwm->flags & PWMF_ENABLED)
		return -EBUSY;
	if (int error = pwm->chip->ops->set_polarity(pwm->chip, pwm, polarity))
		return error;
	pwm->polarity = polarity;
	return 0;
}

// As 4.1: the flag is set before the controller is asked, and stays set
// when the controller refuses.
int pwm_enable(struct pwm_device *pwm)
{
	if (!pwm || !requested(pwm, "enable"))
		return -EINVAL;
	if (pwm->flags & PWMF_ENABLED)
		return 0;
	pwm->flags |= PWMF_ENABLED;
	return pwm->chip->ops->enable(pwm->chip, pwm);
}

void pwm_disable(struct pwm_device *pwm)
{
	if (!pwm || !requested(pwm, "disable") || !(pwm->flags & PWMF_ENABLED))
		return;
	pwm->flags &= ~PWMF_ENABLED;
	pwm->chip->ops->disable(pwm->chip, pwm);
}

struct pwm_device *devm_pwm_get(struct device *dev, const char *con_id)
{
	// Without a node only the board's lookup table is searched, and this
	// board has none.
	if (!dev || !dev->of_node)
		return static_cast<pwm_device *>(ERR_PTR(-EPROBE_DEFER));
	struct pwm_device *pwm = of_pwm_get(dev->of_node, con_id);
	if (!IS_ERR(pwm))
		ksim::detail::devres_add(dev, put, pwm);
	return pwm;
}

}  // extern "C"
