// GPIO lines and the gpiod calls drivers make on them.
#include "ksim/gpio.hpp"

#include <linux/errno.h>
#include <linux/gpio.h>
#include <linux/gpio/consumer.h>
#include <linux/printk.h>

#include <algorithm>
#include <array>

#include <ksim/runtime.h>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::gpio {
namespace {

std::array<Line, line_count> &lines()
{
	static std::array<Line, line_count> all;
	return all;
}

Line *line_of(const gpio_desc *desc)
{
	return desc ? &lines()[desc->number] : nullptr;
}

}  // namespace

int Line::level() const
{
	if (output_)
		return latch_;
	if (device_level_)
		return *device_level_;
	return pull_ == Pull::up ? 1 : 0;
}

// Applies a change of state and tells the watchers if the level moved.
template <typename Change> void Line::change(Change &&apply)
{
	int before = level();
	bool was_driving_low = host_drives_low();
	apply();
	if (host_drives_low() && !was_driving_low) {
		host_low_starts_++;
		host_low_started_ = time::now();
	}
	int after = level();
	if (after == before)
		return;
	auto watchers = watchers_;
	for (auto &entry : watchers)
		entry.second(after);
}

void Line::set_pull(Pull pull)
{
	change([&] { pull_ = pull; });
}

void Line::device_drive(std::optional<int> level)
{
	change([&] { device_level_ = level; });
}

int Line::watch(Watcher watcher)
{
	int id = next_watch_id_++;
	watchers_.emplace_back(id, std::move(watcher));
	return id;
}

void Line::unwatch(int id)
{
	watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(),
				       [id](const auto &entry) { return entry.first == id; }),
			watchers_.end());
}

void Line::host_request(const char *label)
{
	requested_ = true;
	label_ = label ? label : "";
}

void Line::host_free()
{
	requested_ = false;
	label_.clear();
}

int Line::host_read()
{
	host_reads_++;
	return level();
}

void Line::host_direction_input()
{
	change([&] { output_ = false; });
}

void Line::host_direction_output(int value)
{
	change([&] {
		latch_ = value ? 1 : 0;
		output_ = true;
		ever_output_ = true;
	});
}

void Line::host_set_value(int value)
{
	change([&] { latch_ = value ? 1 : 0; });
}

void Line::reset(unsigned number)
{
	*this = Line{};
	desc_.number = number;
}

Line &line(unsigned number)
{
	return lines().at(number);
}

}  // namespace ksim::gpio

namespace ksim::detail {

void reset_gpio()
{
	for (unsigned n = 0; n < gpio::line_count; n++)
		gpio::lines()[n].reset(n);
}

}  // namespace ksim::detail

using ksim::gpio::line_of;

namespace {

// The gpiod calls of the board's kernel refuse a missing descriptor.
bool valid(const gpio_desc *desc, const char *call)
{
	if (desc)
		return true;
	pr_warn("%s: invalid GPIO\n", call);
	return false;
}

}  // namespace

extern "C" {

struct gpio_desc *gpio_to_desc(unsigned int gpio)
{
	if (gpio >= ksim::gpio::line_count)
		return nullptr;
	return ksim::gpio::line(gpio).desc();
}

int desc_to_gpio(const struct gpio_desc *desc)
{
	return desc ? static_cast<int>(desc->number) : -EINVAL;
}

int gpiod_direction_input(struct gpio_desc *desc)
{
	if (!valid(desc, __func__))
		return -EINVAL;
	line_of(desc)->host_direction_input();
	return 0;
}

int gpiod_direction_output_raw(struct gpio_desc *desc, int value)
{
	if (!valid(desc, __func__))
		return -EINVAL;
	line_of(desc)->host_direction_output(value);
	return 0;
}

int gpiod_direction_output(struct gpio_desc *desc, int value)
{
	if (!valid(desc, __func__))
		return -EINVAL;
	ksim::gpio::Line *l = line_of(desc);
	l->host_direction_output((value ? 1 : 0) ^ l->active_low());
	return 0;
}

int gpiod_get_direction(struct gpio_desc *desc)
{
	if (!valid(desc, __func__))
		return -EINVAL;
	return line_of(desc)->is_output() ? 0 : 1;
}

int gpiod_get_raw_value(const struct gpio_desc *desc)
{
	return desc ? line_of(desc)->host_read() : 0;
}

int gpiod_get_value(const struct gpio_desc *desc)
{
	if (!desc)
		return 0;
	ksim::gpio::Line *l = line_of(desc);
	return l->host_read() ^ l->active_low();
}

int gpiod_get_value_cansleep(const struct gpio_desc *desc)
{
	ksim_might_sleep(__func__);
	return gpiod_get_value(desc);
}

void gpiod_set_raw_value(struct gpio_desc *desc, int value)
{
	if (desc)
		line_of(desc)->host_set_value(value);
}

void gpiod_set_value(struct gpio_desc *desc, int value)
{
	if (!desc)
		return;
	ksim::gpio::Line *l = line_of(desc);
	l->host_set_value((value ? 1 : 0) ^ l->active_low());
}

int gpiod_is_active_low(const struct gpio_desc *desc)
{
	return desc && line_of(desc)->active_low();
}

int gpio_request_one(unsigned int gpio, unsigned long flags, const char *label)
{
	ksim_might_sleep(__func__);
	if (int error = ksim_fault("gpio_request"))
		return error;
	if (gpio >= ksim::gpio::line_count)
		return -EINVAL;
	ksim::gpio::Line &l = ksim::gpio::line(gpio);
	if (l.requested())
		return -EBUSY;
	l.host_request(label);
	if (flags & GPIOF_DIR_IN)
		l.host_direction_input();
	else
		l.host_direction_output((flags & GPIOF_INIT_HIGH) ? 1 : 0);
	return 0;
}

void gpio_free(unsigned int gpio)
{
	ksim_might_sleep(__func__);
	if (gpio >= ksim::gpio::line_count || !ksim::gpio::line(gpio).requested()) {
		ksim::violations::report("gpio_free of a line that is not requested");
		return;
	}
	ksim::gpio::line(gpio).host_free();
}

}  // extern "C"
