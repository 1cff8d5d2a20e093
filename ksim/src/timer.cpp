// Kernel timers on the virtual clock. An armed timer expires at the tick
// where jiffies reaches its expiry (the next tick when that has passed), in
// timer context; while local interrupts are off or another context runs,
// the expiry waits, as the timer softirq would.
#include "ksim/timer.hpp"

#include <linux/timer.h>

#include <ksim/runtime.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::timer {
namespace {

struct Armed {
	time::Nanoseconds due;
	time::EventId event; // 0 once due and waiting for interrupts
};

struct Timers {
	// Set up by init_timer_key, with the module whose code did it.
	std::map<const timer_list *, const struct module *> initialised;
	std::map<const timer_list *, Armed> armed;
	std::vector<timer_list *> waiting;
	const timer_list *running = nullptr;
};

Timers &timers()
{
	static Timers t;
	return t;
}

// The tick at which jiffies first equals `expires`, or the next tick.
time::Nanoseconds tick_for(unsigned long expires)
{
	const time::Nanoseconds this_tick = time::now() / time::tick * time::tick;
	const auto ahead = static_cast<std::int32_t>(
		static_cast<std::uint32_t>(expires) -
		static_cast<std::uint32_t>(time::current_jiffies()));
	return this_tick + time::tick * static_cast<time::Nanoseconds>(ahead > 0 ? ahead : 1);
}

bool can_run_now()
{
	return !irq::disabled() && current_context() == Context::process;
}

void expire(timer_list *timer)
{
	Timers &t = timers();
	t.armed.erase(timer);
	const int mutexes = detail::mutexes_held();
	{
		ContextScope scope(Context::timer);
		t.running = timer;
		timer->function(timer->data);
		t.running = nullptr;
	}
	detail::check_return("timer function", mutexes);
}

void fire(timer_list *timer)
{
	Timers &t = timers();
	t.armed[timer].event = 0;
	t.waiting.push_back(timer);
	detail::run_waiting_timers();
}

void arm(timer_list *timer, unsigned long expires)
{
	timer->expires = expires;
	const time::Nanoseconds due = tick_for(expires);
	timers().armed[timer] = {due, time::at(due, [timer] { fire(timer); })};
}

bool disarm(const timer_list *timer)
{
	Timers &t = timers();
	auto it = t.armed.find(timer);
	if (it == t.armed.end())
		return false;
	if (it->second.event)
		time::cancel(it->second.event);
	t.armed.erase(it);
	return true;
}

bool usable(const timer_list *timer, const char *call)
{
	if (timers().initialised.count(timer) && timer->function)
		return true;
	violations::report(std::string(call) + " on a timer never set up");
	return false;
}

}  // namespace

std::size_t armed()
{
	return timers().armed.size();
}

std::vector<time::Nanoseconds> due_times()
{
	std::vector<time::Nanoseconds> due;
	for (const auto &entry : timers().armed)
		due.push_back(entry.second.due);
	std::sort(due.begin(), due.end());
	return due;
}

}  // namespace ksim::timer

namespace ksim::detail {

void run_waiting_timers()
{
	auto &t = timer::timers();
	while (!t.waiting.empty() && timer::can_run_now()) {
		timer_list *next = t.waiting.front();
		t.waiting.erase(t.waiting.begin());
		// Deleted or re-armed while it waited: nothing to run.
		auto it = t.armed.find(next);
		if (it != t.armed.end() && it->second.event == 0)
			timer::expire(next);
	}
}

std::vector<std::string> timers_armed_by(const struct module *mod)
{
	auto &t = timer::timers();
	std::vector<std::string> left;
	for (const auto &entry : t.armed)
		if (t.initialised.at(entry.first) == mod)
			left.push_back("an armed timer");
	return left;
}

void reset_timers()
{
	auto &t = timer::timers();
	for (const auto &entry : t.armed)
		if (entry.second.event)
			time::cancel(entry.second.event);
	t = timer::Timers{};
}

}  // namespace ksim::detail

extern "C" {

void init_timer_key(struct timer_list *timer, unsigned int flags,
		    const char *name, struct lock_class_key *key)
{
	auto &t = ksim::timer::timers();
	// lockdep_init_map warns (DEBUG_LOCKS_WARN_ON) on either missing.
	if (!name || !key)
		ksim::violations::report("init_timer_key without a name or lock class");
	if (t.armed.count(timer))
		ksim::violations::report("init_timer_key on an armed timer");
	timer->flags = flags;
	t.initialised[timer] = ksim::detail::running_module();
}

void add_timer(struct timer_list *timer)
{
	if (!ksim::timer::usable(timer, "add_timer"))
		return;
	if (timer_pending(timer)) {
		ksim::violations::report("add_timer on a pending timer");
		return;
	}
	ksim::timer::arm(timer, timer->expires);
}

int mod_timer(struct timer_list *timer, unsigned long expires)
{
	if (!ksim::timer::usable(timer, "mod_timer"))
		return 0;
	const bool was_armed = ksim::timer::disarm(timer);
	ksim::timer::arm(timer, expires);
	return was_armed;
}

int del_timer(struct timer_list *timer)
{
	return ksim::timer::disarm(timer);
}

int del_timer_sync(struct timer_list *timer)
{
	if (ksim::current_context() == ksim::Context::hardirq)
		ksim::violations::report("del_timer_sync in hard-irq context");
	if (ksim::timer::timers().running == timer)
		ksim::violations::report("del_timer_sync from the timer's own function");
	return ksim::timer::disarm(timer);
}

int timer_pending(const struct timer_list *timer)
{
	return ksim::timer::timers().armed.count(timer) != 0;
}

}  // extern "C"
