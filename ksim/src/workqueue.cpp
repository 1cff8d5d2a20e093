// The system workqueue: a scheduled work runs once, in process context
// with interrupts on, as soon as the code that queued it lets a worker run.
#include <linux/workqueue.h>

#include <algorithm>

#include "internal.hpp"

namespace ksim {
namespace {

struct State {
	std::vector<struct work_struct *> pending;
	const struct work_struct *running = nullptr;
};

State &state()
{
	static State s;
	return s;
}

}  // namespace

namespace detail {

void reset_workqueue() { state() = State{}; }

void run_pending_work()
{
	State &s = state();
	while (!s.pending.empty() && !irq::disabled() && current_context() == Context::process &&
	       !s.running) {
		struct work_struct *work = s.pending.front();
		s.pending.erase(s.pending.begin());
		const int mutexes = mutexes_held();
		s.running = work;
		work->func(work);
		s.running = nullptr;
		check_return("work function", mutexes);
	}
}

}  // namespace detail
}  // namespace ksim

extern "C" {

bool schedule_work(struct work_struct *work)
{
	auto &pending = ksim::state().pending;
	if (std::find(pending.begin(), pending.end(), work) != pending.end())
		return false;
	pending.push_back(work);
	ksim::time::at(ksim::time::now(), ksim::detail::run_pending_work);
	return true;
}

bool cancel_work_sync(struct work_struct *work)
{
	ksim_might_sleep(__func__);
	if (ksim::state().running == work)
		ksim::violations::report("cancel_work_sync from the work's own function");
	auto &pending = ksim::state().pending;
	auto it = std::find(pending.begin(), pending.end(), work);
	if (it == pending.end())
		return false;
	pending.erase(it);
	return true;
}

}  // extern "C"
