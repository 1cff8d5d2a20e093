// Contexts, local interrupt masking, busy-waits and violations.
#include "ksim/context.hpp"

#include <ksim/runtime.h>

#include <algorithm>
#include <string>

#include "internal.hpp"

namespace ksim {
namespace {

struct State {
	Context context = Context::process;
	bool irqs_off = false;
	time::Nanoseconds off_since = 0;
	time::Nanoseconds longest_off = 0;
	std::vector<std::string> violations;
};

State &state()
{
	static State s;
	return s;
}

const char *context_name(Context context)
{
	switch (context) {
	case Context::process:
		return "process";
	case Context::hardirq:
		return "hard-irq";
	case Context::timer:
		return "timer";
	}
	return "?";
}

}  // namespace

Context current_context()
{
	return state().context;
}

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

namespace irq {

bool disabled()
{
	return state().irqs_off;
}

time::Nanoseconds longest_off_window()
{
	const State &s = state();
	if (s.irqs_off)
		return std::max(s.longest_off, time::now() - s.off_since);
	return s.longest_off;
}

void clear_off_windows()
{
	state().longest_off = 0;
	state().off_since = time::now();
}

}  // namespace irq

namespace violations {

void report(const std::string &what)
{
	state().violations.push_back(what);
}

const std::vector<std::string> &all()
{
	return state().violations;
}

std::vector<std::string> take()
{
	std::vector<std::string> taken;
	taken.swap(state().violations);
	return taken;
}

}  // namespace violations

namespace detail {

void reset_context()
{
	state() = State{};
}

}  // namespace detail
}  // namespace ksim

extern "C" {

void ksim_violation(const char *file, int line, const char *what)
{
	ksim::violations::report(std::string(file) + ":" + std::to_string(line) +
				 ": " + what);
}

void ksim_might_sleep(const char *call)
{
	const auto &s = ksim::state();
	if (s.irqs_off)
		ksim::violations::report(std::string("sleeping call ") + call +
					 " with interrupts disabled");
	else if (s.context != ksim::Context::process)
		ksim::violations::report(std::string("sleeping call ") + call +
					 " in " + ksim::context_name(s.context) +
					 " context");
}

void ksim_ndelay(unsigned long nsecs)
{
	ksim::time::advance(nsecs);
}

unsigned long ksim_irq_save(void)
{
	auto &s = ksim::state();
	unsigned long was_off = s.irqs_off;
	if (!s.irqs_off) {
		s.irqs_off = true;
		s.off_since = ksim::time::now();
	}
	return was_off;
}

void ksim_irq_restore(unsigned long flags)
{
	auto &s = ksim::state();
	if (flags || !s.irqs_off)
		return;
	s.irqs_off = false;
	s.longest_off = std::max(s.longest_off, ksim::time::now() - s.off_since);
	ksim::detail::run_pending_interrupts();
}

int ksim_irqs_disabled(void)
{
	return ksim::state().irqs_off;
}

int ksim_in_interrupt(void)
{
	return ksim::state().context != ksim::Context::process;
}

}  // extern "C"

extern "C" {

void msleep(unsigned int msecs)
{
	ksim_might_sleep("msleep");
	ksim::time::advance(ksim::time::ms(msecs));
}

void usleep_range(unsigned long min, unsigned long)
{
	ksim_might_sleep("usleep_range");
	ksim::time::advance(ksim::time::us(min));
}

}  // extern "C"
