// GPIO lines and the gpio calls drivers make on them; each line's
// interrupt, raised on the edges its handler was requested for and handled
// in hard-irq context, held back while local interrupts are off.
#include <linux/gpio.h>
#include <linux/interrupt.h>
#include <linux/printk.h>

#include <algorithm>
#include <array>

#include "internal.hpp"

namespace ksim {
namespace {

// Where the GPIO controller's interrupt numbers start.
constexpr int first_gpio_irq = 160;

struct Action {
	irq::Requested info;
	irq_handler_t handler;
	void *dev_id;
	const struct module *owner;
	unsigned gpio;
	int watch;
	int level;
	bool pending = false;
};

struct State {
	std::map<int, Action> actions;
	std::vector<int> pending;
};

State &state()
{
	static State s;
	return s;
}

// The controller latches one edge until the handler runs.
void on_level(int number, int level)
{
	Action &action = state().actions.at(number);
	const bool rising = !action.level && level, falling = action.level && !level;
	action.level = level;
	if (action.pending || !((rising && (action.info.flags & IRQF_TRIGGER_RISING)) ||
				(falling && (action.info.flags & IRQF_TRIGGER_FALLING))))
		return;
	action.pending = true;
	state().pending.push_back(number);
	detail::run_pending_interrupts();
}

// The gpiod calls of the board's kernel refuse a missing descriptor.
gpio::Line *line_of(const gpio_desc *desc, const char *call)
{
	if (desc)
		return &gpio::line(desc->number);
	printk(KERN_WARNING "%s: invalid GPIO\n", call);
	return nullptr;
}

}  // namespace

int gpio::Line::level() const
{
	if (output_)
		return latch_;
	return device_level_ ? *device_level_ : pull_ == Pull::up;
}

// Applies a change of state and tells the watchers if the level moved.
template <typename Change> void gpio::Line::change(Change &&apply)
{
	const int before = level();
	const bool was_driving_low = output_ && latch_ == 0;
	apply();
	if (output_ && latch_ == 0 && !was_driving_low) {
		host_low_starts_++;
		host_low_started_ = time::now();
	}
	if (level() != before)
		for (auto &entry : std::vector(watchers_))
			entry.second(level());
}

void gpio::Line::set_pull(Pull pull) { change([&] { pull_ = pull; }); }

void gpio::Line::device_drive(std::optional<int> level) { change([&] { device_level_ = level; }); }

int gpio::Line::watch(Watcher watcher)
{
	watchers_.emplace_back(next_watch_id_, std::move(watcher));
	return next_watch_id_++;
}

void gpio::Line::unwatch(int id)
{
	watchers_.erase(std::remove_if(watchers_.begin(), watchers_.end(),
				       [id](const auto &entry) { return entry.first == id; }),
			watchers_.end());
}

void gpio::Line::host_drive(bool output, std::optional<int> latch)
{
	change([&] {
		output_ = output;
		ever_output_ |= output;
		latch_ = latch ? *latch != 0 : latch_;
	});
}

gpio::Line &gpio::line(unsigned number)
{
	static std::array<Line, line_count> lines;
	return lines.at(number);
}

int irq::of_gpio(unsigned gpio) { return first_gpio_irq + static_cast<int>(gpio); }

const irq::Requested *irq::requested(int number)
{
	auto it = state().actions.find(number);
	return it == state().actions.end() ? nullptr : &it->second.info;
}

namespace detail {

void reset_gpio()
{
	for (unsigned n = 0; n < gpio::line_count; n++)
		gpio::line(n) = gpio::Line(n);
}

void run_pending_interrupts()
{
	State &s = state();
	while (!s.pending.empty() && !irq::disabled()) {
		auto it = s.actions.find(s.pending.front());
		s.pending.erase(s.pending.begin());
		if (it == s.actions.end() || !it->second.pending)
			continue;
		Action &action = it->second;
		action.pending = false;
		action.info.handled++;
		irqreturn_t result;
		{
			ContextScope scope(Context::hardirq);
			result = action.handler(it->first, action.dev_id);
		}
		if (result != IRQ_HANDLED && result != IRQ_NONE)
			violations::report(format("interrupt handler returned %d with no thread",
						  result));
	}
	run_waiting_timers();
}

std::vector<std::string> irqs_held_by(const struct module *mod)
{
	std::vector<std::string> left;
	for (const auto &[number, action] : state().actions)
		if (action.owner == mod)
			left.push_back(format("interrupt %d (%s)", number,
					      action.info.name.c_str()));
	return left;
}

void reset_irqs()
{
	for (auto &entry : state().actions)
		gpio::line(entry.second.gpio).unwatch(entry.second.watch);
	state() = State{};
}

}  // namespace detail
}  // namespace ksim

using ksim::line_of;

// No line here is ever active-low (4.1 sets that only for GPIOF_ACTIVE_LOW
// or a descriptor lookup, which the kit does not use): logical is raw.
extern "C" {

struct gpio_desc *gpio_to_desc(unsigned int gpio)
{
	return gpio < ksim::gpio::line_count ? ksim::gpio::line(gpio).desc() : nullptr;
}

int gpiod_direction_input(struct gpio_desc *desc)
{
	ksim::gpio::Line *l = line_of(desc, __func__);
	return l ? l->host_drive(false), 0 : -EINVAL;
}

int gpiod_direction_output_raw(struct gpio_desc *desc, int value)
{
	ksim::gpio::Line *l = line_of(desc, __func__);
	return l ? l->host_drive(true, value), 0 : -EINVAL;
}

int gpiod_direction_output(struct gpio_desc *desc, int value)
{
	ksim::gpio::Line *l = line_of(desc, __func__);
	return l ? l->host_drive(true, value), 0 : -EINVAL;
}

// 4.1 reads a missing descriptor as 0, and sets it as nothing, silently.
int gpiod_get_raw_value(const struct gpio_desc *desc)
{
	return desc ? ksim::gpio::line(desc->number).host_read() : 0;
}

// The board's controllers never sleep, so the value is read in any context.
int gpiod_get_value(const struct gpio_desc *desc) { return gpiod_get_raw_value(desc); }

int gpiod_get_value_cansleep(const struct gpio_desc *desc)
{
	ksim_might_sleep(__func__);
	return gpiod_get_raw_value(desc);
}

void gpiod_set_raw_value(struct gpio_desc *desc, int value)
{
	if (desc) {
		ksim::gpio::Line &l = ksim::gpio::line(desc->number);
		l.host_drive(l.is_output(), value);
	}
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
	l.host_claim(true, label);
	l.host_drive(!(flags & GPIOF_DIR_IN), (flags & GPIOF_INIT_HIGH) ? 1 : 0);
	return 0;
}

void gpio_free(unsigned int gpio)
{
	ksim_might_sleep(__func__);
	if (gpio >= ksim::gpio::line_count || !ksim::gpio::line(gpio).requested())
		ksim::violations::report("gpio_free of a line that is not requested");
	else
		ksim::gpio::line(gpio).host_claim(false);
}

int gpiod_to_irq(const struct gpio_desc *desc)
{
	return desc ? ksim::irq::of_gpio(desc->number) : -EINVAL;
}

int request_threaded_irq(unsigned int irq, irq_handler_t handler, irq_handler_t thread_fn,
			 unsigned long flags, const char *name, void *dev)
{
	ksim_might_sleep("request_threaded_irq");
	if (int error = ksim_fault("request_irq"))
		return error;
	const int number = static_cast<int>(irq), gpio = number - ksim::first_gpio_irq;
	if (gpio < 0 || gpio >= static_cast<int>(ksim::gpio::line_count) || !handler)
		return -EINVAL;
	if (thread_fn || (flags & ~(IRQF_TRIGGER_RISING | IRQF_TRIGGER_FALLING))) {
		ksim::violations::report("request_threaded_irq: only edge-triggered "
					 "primary handlers are modelled");
		return -EINVAL;
	}
	if (ksim::irq::requested(number))
		return -EBUSY;
	ksim::gpio::Line &line = ksim::gpio::line(static_cast<unsigned>(gpio));
	ksim::Action action{{name ? name : "", flags, 0}, handler, dev,
			    ksim::detail::running_module(), line.number(), 0, line.level()};
	action.watch = line.watch([number](int level) { ksim::on_level(number, level); });
	ksim::state().actions.emplace(number, std::move(action));
	return 0;
}

void free_irq(unsigned int irq, void *dev_id)
{
	ksim_might_sleep("free_irq");
	auto &actions = ksim::state().actions;
	auto it = actions.find(static_cast<int>(irq));
	if (it == actions.end() || it->second.dev_id != dev_id) {
		ksim::violations::report("free_irq of an interrupt not requested with that cookie");
		return;
	}
	ksim::gpio::line(it->second.gpio).unwatch(it->second.watch);
	actions.erase(it);
}

}  // extern "C"
