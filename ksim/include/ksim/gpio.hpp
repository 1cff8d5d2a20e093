// GPIO lines: what the host drives, what attached hardware drives, and
// the resulting electrical level.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ksim/time.hpp"

struct gpio_desc {
	unsigned number;
};

namespace ksim::gpio {

enum class Pull { down, up };

class Line {
public:
	using Watcher = std::function<void(int level)>;

	unsigned number() const { return desc_.number; }
	// Host output wins; otherwise an attached device; otherwise the pull.
	int level() const;
	bool is_output() const { return output_; }
	bool ever_output() const { return ever_output_; }
	bool active_low() const { return active_low_; }
	// How often, and when last, the host began to drive the line low,
	// whatever the level was.
	unsigned host_low_starts() const { return host_low_starts_; }
	time::Nanoseconds host_low_started() const { return host_low_started_; }
	void set_active_low(bool active_low) { active_low_ = active_low; }
	void set_pull(Pull pull);

	// The attached device pulls the line to a level, or lets go of it.
	void device_drive(std::optional<int> level);

	// Called with the new level on every change, host- or device-made.
	int watch(Watcher watcher);
	void unwatch(int id);

	// Claimed through gpio_request_one, with its label, until gpio_free.
	bool requested() const { return requested_; }
	const std::string &label() const { return label_; }
	void host_request(const char *label);
	void host_free();

	// How often a gpiod call has read the line's value.
	unsigned host_reads() const { return host_reads_; }

	// Host side, as the gpiod calls use it.
	int host_read();
	void host_direction_input();
	void host_direction_output(int value);
	void host_set_value(int value);

	gpio_desc *desc() { return &desc_; }
	void reset(unsigned number);

private:
	template <typename Change> void change(Change &&apply);
	bool host_drives_low() const { return output_ && latch_ == 0; }

	gpio_desc desc_{0};
	bool output_ = false;
	bool ever_output_ = false;
	int latch_ = 0;
	unsigned host_low_starts_ = 0;
	unsigned host_reads_ = 0;
	time::Nanoseconds host_low_started_ = 0;
	bool active_low_ = false;
	bool requested_ = false;
	std::string label_;
	Pull pull_ = Pull::down;
	std::optional<int> device_level_;
	std::vector<std::pair<int, Watcher>> watchers_;
	int next_watch_id_ = 1;
};

constexpr unsigned line_count = 512;

// Lines live as long as the program: descriptors stay valid across resets.
Line &line(unsigned number);

}  // namespace ksim::gpio
