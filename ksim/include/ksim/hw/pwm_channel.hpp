// The channels of the board's PWM controller: what each one drives, who
// holds it, and every call drivers made on it.
//
// A device-tree node refers to a channel by its number, as the first cell of
// its "pwms" property: dt::Node{"servo", {"hc-sg90"}, {}, {{"pwms", {3}}}}.
#pragma once

#include <linux/pwm.h>

#include <string>
#include <vector>

namespace ksim::hw {

class PwmChannel {
public:
	unsigned number() const { return device_.pwm; }

	// The output. A release leaves it as it is, as the controller does.
	int period_ns() const { return period_ns_; }
	int duty_ns() const { return duty_ns_; }
	enum pwm_polarity polarity() const { return polarity_; }
	bool enabled() const { return enabled_; }

	// Requested by a consumer: its label (con_id, else the node's name).
	bool held() const { return held_; }
	const std::string &holder() const { return holder_; }

	// Calls on the channel, oldest first: "request <label>",
	// "config <duty> <period>", "polarity normal|inversed", "enable",
	// "disable", "release"; refused ones too.
	const std::vector<std::string> &history() const { return history_; }
	void clear_history() { history_.clear(); }

	// The controller's side, driven by the PWM core (or by a test that sets
	// up what the boot loader left behind).
	void request(const std::string &label);
	void release();
	void configure(int duty_ns, int period_ns);
	void set_polarity(enum pwm_polarity polarity);
	void set_enabled(bool enabled);
	void record(const std::string &call);

	struct pwm_device *device() { return &device_; }
	void reset(unsigned number);

private:
	struct pwm_device device_ {};
	int period_ns_ = 0;
	int duty_ns_ = 0;
	enum pwm_polarity polarity_ = PWM_POLARITY_NORMAL;
	bool enabled_ = false;
	bool held_ = false;
	std::string holder_;
	std::vector<std::string> history_;
};

constexpr unsigned pwm_channel_count = 8;

// Channels live as long as the program: handles stay valid across resets.
PwmChannel &pwm_channel(unsigned number);

}  // namespace ksim::hw
