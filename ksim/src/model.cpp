// The model's core: reset, violations, contexts and local interrupt
// masking, mutexes, the kernel log, the event log and fault injection.
#include <linux/mutex.h>
#include <linux/printk.h>

#include <algorithm>
#include <cstdio>

#include "internal.hpp"

namespace ksim {
namespace {

struct Fault {
	int error;
	unsigned skip, times;
};

struct State {
	Context context = Context::process;
	bool irqs_off = false;
	time::Nanoseconds off_since = 0, longest_off = 0;
	std::vector<const struct mutex *> held;
	std::vector<std::string> violations;
	std::vector<log::Entry> log;
	std::vector<Event> events;
	std::map<std::string, Fault> faults;
};

State &state()
{
	static State s;
	return s;
}

}  // namespace

void reset()
{
	modules::unload_all();
	detail::reset_irqs();
	detail::reset_files();
	detail::reset_devices();
	detail::reset_i2c();
	detail::reset_gpio();
	detail::reset_pwm();
	detail::reset_user();
	detail::reset_workqueue();
	detail::reset_input();
	detail::reset_iio();
	detail::reset_hwmon();
	detail::reset_sysfs();
	detail::reset_time();
	state() = State{};
}

Context current_context() { return state().context; }

ContextScope::ContextScope(Context context) : previous_(state().context)
{
	if (context == Context::hardirq) {
		saved_flags_ = ksim_irq_save();
		masked_ = true;
	}
	state().context = context;
}

ContextScope::~ContextScope()
{
	state().context = previous_;
	if (masked_)
		ksim_irq_restore(saved_flags_);
}

bool irq::disabled() { return state().irqs_off; }

time::Nanoseconds irq::longest_off_window()
{
	const State &s = state();
	return s.irqs_off ? std::max(s.longest_off, time::now() - s.off_since) : s.longest_off;
}

void irq::clear_off_windows()
{
	state().longest_off = 0;
	state().off_since = time::now();
}

void violations::report(const std::string &what) { state().violations.push_back(what); }

const std::vector<std::string> &violations::all() { return state().violations; }

std::vector<std::string> violations::take() { return std::move(state().violations); }

const std::vector<log::Entry> &log::entries() { return state().log; }

bool log::contains(int level, const std::string &text)
{
	const auto &log = state().log;
	return std::find(log.begin(), log.end(), Entry{level, text}) != log.end();
}

void log::clear() { state().log.clear(); }

const std::vector<Event> &events() { return state().events; }

std::vector<std::string> events(const std::string &kind)
{
	std::vector<std::string> texts;
	for (const Event &e : state().events)
		if (e.kind == kind)
			texts.push_back(e.text);
	return texts;
}

void clear_events() { state().events.clear(); }

void fault::inject(const std::string &site, int error, unsigned skip, unsigned times)
{
	state().faults[site] = {error, skip, times};
}

namespace detail {

int mutexes_held() { return static_cast<int>(state().held.size()); }

const std::vector<const struct mutex *> &held_mutexes() { return state().held; }

void check_return(const char *from, int mutexes_before)
{
	if (irq::disabled())
		violations::report(std::string(from) + " returned with interrupts disabled");
	if (mutexes_held() != mutexes_before)
		violations::report(format("%s returned with %d mutex(es) still held", from,
					  mutexes_held() - mutexes_before));
}

void event(const char *kind, std::string text)
{
	state().events.push_back({time::now(), kind, std::move(text)});
}

std::string vformat(const char *fmt, va_list args)
{
	char text[256];
	va_list again;
	va_copy(again, args);
	const int length = std::vsnprintf(text, sizeof(text), fmt, args);
	std::string result(text, std::min<std::size_t>(std::max(length, 0), sizeof(text) - 1));
	if (length >= static_cast<int>(sizeof(text))) {
		result.resize(static_cast<std::size_t>(length));
		std::vsnprintf(result.data(), result.size() + 1, fmt, again);
	}
	va_end(again);
	return result;
}

std::string format(const char *fmt, ...)
{
	va_list args;
	va_start(args, fmt);
	std::string text = vformat(fmt, args);
	va_end(args);
	return text;
}

}  // namespace detail
}  // namespace ksim

using ksim::state;

extern "C" {

int ksim_fault(const char *site)
{
	auto it = state().faults.find(site);
	if (it == state().faults.end() || it->second.times == 0)
		return 0;
	if (it->second.skip > 0) {
		it->second.skip--;
		return 0;
	}
	it->second.times--;
	return it->second.error;
}

// Splits off the KERN_SOH level prefix as the kernel's printk does.
int printk(const char *fmt, ...)
{
	int level = ksim::log::default_level;
	if (fmt[0] == KERN_SOH[0] && fmt[1] != '\0') {
		if (fmt[1] >= '0' && fmt[1] <= '7')
			level = fmt[1] - '0';
		fmt += 2;
	}
	va_list args;
	va_start(args, fmt);
	std::string text = ksim::detail::vformat(fmt, args);
	va_end(args);
	state().log.push_back({level, text});
	return static_cast<int>(text.size());
}

void ksim_might_sleep(const char *call)
{
	if (state().irqs_off)
		ksim::violations::report(std::string("sleeping call ") + call +
					 " with interrupts disabled");
	else if (state().context != ksim::Context::process)
		ksim::violations::report(ksim::detail::format(
			"sleeping call %s in %s context", call,
			state().context == ksim::Context::timer ? "timer" : "hard-irq"));
}

unsigned long ksim_irq_save(void)
{
	if (state().irqs_off)
		return 1;
	state().irqs_off = true;
	state().off_since = ksim::time::now();
	return 0;
}

void ksim_irq_restore(unsigned long flags)
{
	if (flags || !state().irqs_off)
		return;
	state().irqs_off = false;
	state().longest_off = std::max(state().longest_off, ksim::time::now() - state().off_since);
	ksim::detail::run_pending_interrupts();
}

void mutex_lock(struct mutex *lock)
{
	ksim_might_sleep("mutex_lock");
	if (lock->locked) {
		ksim::violations::report("mutex_lock on a mutex already held: "
					 "no other thread can release it");
		return;
	}
	lock->locked = 1;
	state().held.push_back(lock);
	ksim::detail::sysfs_note_lock(lock);
}

int mutex_lock_interruptible(struct mutex *lock)
{
	mutex_lock(lock);
	return 0;
}

void mutex_unlock(struct mutex *lock)
{
	if (!lock->locked) {
		ksim::violations::report("mutex_unlock of a mutex not held");
		return;
	}
	lock->locked = 0;
	auto &held = state().held;
	held.erase(std::find(held.begin(), held.end(), lock));
}

}  // extern "C"
