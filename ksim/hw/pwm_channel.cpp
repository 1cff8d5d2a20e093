// One channel of a PWM controller: period, duty, polarity, output on or
// off, and the consumer that requested it.
#include "ksim/hw/pwm_channel.hpp"

#include <array>

namespace ksim::hw {

void PwmChannel::request(const std::string &label)
{
	held_ = true;
	holder_ = label;
}

void PwmChannel::release()
{
	held_ = false;
	holder_.clear();
}

void PwmChannel::configure(int duty_ns, int period_ns)
{
	duty_ns_ = duty_ns;
	period_ns_ = period_ns;
}

void PwmChannel::set_polarity(enum pwm_polarity polarity)
{
	polarity_ = polarity;
}

void PwmChannel::set_enabled(bool enabled)
{
	enabled_ = enabled;
}

void PwmChannel::record(const std::string &call)
{
	history_.push_back(call);
}

void PwmChannel::reset(unsigned number)
{
	*this = PwmChannel{};
	device_.pwm = number;
}

PwmChannel &pwm_channel(unsigned number)
{
	static std::array<PwmChannel, pwm_channel_count> all = [] {
		std::array<PwmChannel, pwm_channel_count> channels;
		for (unsigned n = 0; n < pwm_channel_count; n++)
			channels[n].reset(n);
		return channels;
	}();
	return all.at(number);
}

}  // namespace ksim::hw
