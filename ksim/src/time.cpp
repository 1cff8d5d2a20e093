// Virtual time, the discrete-event scheduler, jiffies and kernel timers.
//
// An armed timer expires at the tick where jiffies reaches its expiry (the
// next tick when that has passed), in timer context; while local
// interrupts are off or another context runs, the expiry waits, as the
// timer softirq would.
#include <linux/jiffies.h>
#include <linux/timer.h>

#include <algorithm>
#include <unordered_map>

#include "internal.hpp"

namespace ksim {
namespace {

using Key = std::pair<time::Nanoseconds, time::EventId>;

struct Armed {
	time::Nanoseconds due;
	time::EventId event;  // 0 once due and waiting for interrupts
};

struct State {
	time::Nanoseconds now = 0;
	time::EventId next_id = 1;
	std::map<Key, std::function<void()>> queue;
	std::unordered_map<time::EventId, time::Nanoseconds> due;
	// Set up by init_timer_key, with the module whose code did it.
	std::map<const timer_list *, const struct module *> timers;
	std::map<const timer_list *, Armed> armed;
	std::vector<timer_list *> waiting;
	const timer_list *running = nullptr;
};

State &state()
{
	static State s;
	return s;
}

// The tick at which jiffies first equals `expires`, or the next tick.
time::Nanoseconds tick_for(unsigned long expires)
{
	const std::uint32_t now = static_cast<std::uint32_t>(detail::current_jiffies());
	const auto ahead = static_cast<std::int32_t>(static_cast<std::uint32_t>(expires) - now);
	return time::now() / time::tick * time::tick +
	       time::tick * static_cast<time::Nanoseconds>(ahead > 0 ? ahead : 1);
}

void arm(timer_list *timer, unsigned long expires)
{
	timer->expires = expires;
	const time::Nanoseconds due = tick_for(expires);
	state().armed[timer] = {due, time::at(due, [timer] {
					state().armed[timer].event = 0;
					state().waiting.push_back(timer);
					detail::run_waiting_timers();
				})};
}

bool disarm(const timer_list *timer)
{
	auto it = state().armed.find(timer);
	if (it == state().armed.end())
		return false;
	time::cancel(it->second.event);
	state().armed.erase(it);
	return true;
}

bool usable(const timer_list *timer, const char *call)
{
	if (state().timers.count(timer) && timer->function)
		return true;
	violations::report(std::string(call) + " on a timer never set up");
	return false;
}

}  // namespace

time::Nanoseconds time::now() { return state().now; }

void time::advance(Nanoseconds delta) { advance_to(state().now + delta); }

void time::advance_to(Nanoseconds when)
{
	State &s = state();
	// An event may busy-wait itself and so run later events first.
	while (!s.queue.empty() && s.queue.begin()->first.first <= when) {
		auto node = s.queue.extract(s.queue.begin());
		s.due.erase(node.key().second);
		s.now = std::max(s.now, node.key().first);
		node.mapped()();
	}
	s.now = std::max(s.now, when);
}

time::EventId time::at(Nanoseconds when, std::function<void()> action)
{
	State &s = state();
	when = std::max(when, s.now);
	s.queue.emplace(Key{when, s.next_id}, std::move(action));
	s.due.emplace(s.next_id, when);
	return s.next_id++;
}

bool time::cancel(EventId id)
{
	auto it = state().due.find(id);
	if (it == state().due.end())
		return false;
	state().queue.erase(Key{it->second, id});
	state().due.erase(it);
	return true;
}

std::vector<time::Nanoseconds> timer::due_times()
{
	std::vector<time::Nanoseconds> due;
	for (const auto &entry : state().armed)
		due.push_back(entry.second.due);
	std::sort(due.begin(), due.end());
	return due;
}

namespace detail {

// Event ids go on counting, so a stale id never cancels a new event.
void reset_time()
{
	const time::EventId next_id = state().next_id;
	state() = State{};
	state().next_id = next_id;
}

unsigned long current_jiffies()
{
	return static_cast<std::uint32_t>(INITIAL_JIFFIES + time::now() / time::tick);
}

void run_waiting_timers()
{
	State &s = state();
	while (!s.waiting.empty() && !irq::disabled() && current_context() == Context::process) {
		timer_list *timer = s.waiting.front();
		s.waiting.erase(s.waiting.begin());
		// Deleted or re-armed while it waited: nothing to run.
		auto it = s.armed.find(timer);
		if (it == s.armed.end() || it->second.event != 0)
			continue;
		s.armed.erase(it);
		const int mutexes = mutexes_held();
		{
			ContextScope scope(Context::timer);
			s.running = timer;
			timer->function(timer->data);
			s.running = nullptr;
		}
		check_return("timer function", mutexes);
	}
	run_pending_work();
}

std::vector<std::string> timers_armed_by(const struct module *mod)
{
	std::vector<std::string> left;
	for (const auto &entry : state().armed)
		if (state().timers.at(entry.first) == mod)
			left.push_back("an armed timer");
	return left;
}

}  // namespace detail
}  // namespace ksim

using ksim::state;

extern "C" {

unsigned long ksim_jiffies(void) { return ksim::detail::current_jiffies(); }

void ksim_ndelay(unsigned long nsecs) { ksim::time::advance(nsecs); }

void msleep(unsigned int msecs)
{
	ksim_might_sleep(__func__);
	ksim::time::advance(ksim::time::ms(msecs));
}

void init_timer_key(struct timer_list *timer, unsigned int flags, const char *name,
		    struct lock_class_key *key)
{
	// lockdep_init_map warns (DEBUG_LOCKS_WARN_ON) on either missing.
	if (!name || !key)
		ksim::violations::report("init_timer_key without a name or lock class");
	if (state().armed.count(timer))
		ksim::violations::report("init_timer_key on an armed timer");
	timer->flags = flags;
	state().timers[timer] = ksim::detail::running_module();
}

void add_timer(struct timer_list *timer)
{
	if (!ksim::usable(timer, "add_timer"))
		return;
	if (state().armed.count(timer))
		ksim::violations::report("add_timer on a pending timer");
	else
		ksim::arm(timer, timer->expires);
}

int mod_timer(struct timer_list *timer, unsigned long expires)
{
	if (!ksim::usable(timer, "mod_timer"))
		return 0;
	const bool was_armed = ksim::disarm(timer);
	ksim::arm(timer, expires);
	return was_armed;
}

int del_timer_sync(struct timer_list *timer)
{
	if (ksim::current_context() == ksim::Context::hardirq)
		ksim::violations::report("del_timer_sync in hard-irq context");
	if (state().running == timer)
		ksim::violations::report("del_timer_sync from the timer's own function");
	return ksim::disarm(timer);
}

}  // extern "C"
