// GPIO interrupts: request and release, edge detection on the line, and
// delivery in hard-irq context, held back while local interrupts are off.
#include "ksim/irq.hpp"

#include <linux/errno.h>
#include <linux/gpio/consumer.h>
#include <linux/interrupt.h>

#include <ksim/runtime.h>

#include <map>
#include <vector>

#include "ksim/context.hpp"
#include "ksim/gpio.hpp"
#include "internal.hpp"

namespace ksim::irq {
namespace {

// Where the GPIO controller's interrupt numbers start.
constexpr int first_gpio_irq = 160;
constexpr unsigned long edge_triggers = IRQF_TRIGGER_RISING | IRQF_TRIGGER_FALLING;

struct Action {
	irq_handler_t handler;
	unsigned long flags;
	std::string name;
	void *dev_id;
	const struct module *owner;
	unsigned gpio;
	int watch;
	int level;
	bool pending = false;
	unsigned long handled = 0;
};

struct Irqs {
	std::map<int, Action> actions;
	std::vector<int> pending;
};

Irqs &irqs()
{
	static Irqs i;
	return i;
}

void handle(int number)
{
	Action &action = irqs().actions.at(number);
	action.handled++;
	const irq_handler_t handler = action.handler;
	void *const dev_id = action.dev_id;
	irqreturn_t result;
	{
		ContextScope scope(Context::hardirq);
		result = handler(number, dev_id);
	}
	if (result != IRQ_HANDLED && result != IRQ_NONE)
		violations::report("interrupt handler returned " +
				   std::to_string(result) + " with no thread");
}

void raise(int number)
{
	Action &action = irqs().actions.at(number);
	if (action.pending)
		return; // the controller latches one edge
	action.pending = true;
	irqs().pending.push_back(number);
	detail::run_pending_interrupts();
}

void on_level(int number, int level)
{
	Action &action = irqs().actions.at(number);
	const bool rising = !action.level && level;
	const bool falling = action.level && !level;
	action.level = level;
	if ((rising && (action.flags & IRQF_TRIGGER_RISING)) ||
	    (falling && (action.flags & IRQF_TRIGGER_FALLING)))
		raise(number);
}

const Action *find(int number)
{
	auto it = irqs().actions.find(number);
	return it == irqs().actions.end() ? nullptr : &it->second;
}

}  // namespace

int of_gpio(unsigned gpio)
{
	return first_gpio_irq + static_cast<int>(gpio);
}

bool requested(int number)
{
	return find(number) != nullptr;
}

std::string name(int number)
{
	const Action *action = find(number);
	return action ? action->name : "";
}

unsigned long flags(int number)
{
	const Action *action = find(number);
	return action ? action->flags : 0;
}

unsigned long handled(int number)
{
	const Action *action = find(number);
	return action ? action->handled : 0;
}

}  // namespace ksim::irq

namespace ksim::detail {

void run_pending_interrupts()
{
	auto &i = irq::irqs();
	while (!i.pending.empty() && !irq::disabled()) {
		const int number = i.pending.front();
		i.pending.erase(i.pending.begin());
		auto it = i.actions.find(number);
		if (it == i.actions.end() || !it->second.pending)
			continue;
		it->second.pending = false;
		irq::handle(number);
	}
	run_waiting_timers();
}

std::vector<std::string> irqs_held_by(const struct module *mod)
{
	std::vector<std::string> left;
	for (const auto &entry : irq::irqs().actions)
		if (entry.second.owner == mod)
			left.push_back("interrupt " + std::to_string(entry.first) + " (" +
				       entry.second.name + ")");
	return left;
}

void reset_irqs()
{
	for (auto &entry : irq::irqs().actions)
		gpio::line(entry.second.gpio).unwatch(entry.second.watch);
	irq::irqs() = irq::Irqs{};
}

}  // namespace ksim::detail

extern "C" {

int gpiod_to_irq(const struct gpio_desc *desc)
{
	if (!desc)
		return -EINVAL;
	return ksim::irq::of_gpio(static_cast<unsigned>(desc_to_gpio(desc)));
}

int request_threaded_irq(unsigned int irq, irq_handler_t handler,
			 irq_handler_t thread_fn, unsigned long flags,
			 const char *name, void *dev)
{
	using namespace ksim::irq;
	ksim_might_sleep("request_threaded_irq");
	const int error = ksim_fault("request_irq");
	if (error)
		return error;
	const int number = static_cast<int>(irq);
	const int gpio = number - first_gpio_irq;
	if (number < first_gpio_irq || gpio >= static_cast<int>(ksim::gpio::line_count) ||
	    !handler)
		return -EINVAL;
	if (thread_fn || (flags & ~edge_triggers)) {
		ksim::violations::report("request_threaded_irq: only edge-triggered "
					 "primary handlers are modelled");
		return -EINVAL;
	}
	if (requested(number))
		return -EBUSY;

	ksim::gpio::Line &line = ksim::gpio::line(static_cast<unsigned>(gpio));
	Action action{handler, flags, name ? name : "", dev, ksim::detail::running_module(),
		      line.number(), 0, line.level()};
	action.watch = line.watch([number](int level) { on_level(number, level); });
	irqs().actions.emplace(number, std::move(action));
	return 0;
}

void free_irq(unsigned int irq, void *dev_id)
{
	using namespace ksim::irq;
	ksim_might_sleep("free_irq");
	auto it = irqs().actions.find(static_cast<int>(irq));
	if (it == irqs().actions.end() || it->second.dev_id != dev_id) {
		ksim::violations::report("free_irq of an interrupt not requested "
					 "with that cookie");
		return;
	}
	ksim::gpio::line(it->second.gpio).unwatch(it->second.watch);
	irqs().actions.erase(it);
}

}  // extern "C"
