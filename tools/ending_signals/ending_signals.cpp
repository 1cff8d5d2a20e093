#include "ending_signals.h"

#include <poll.h>
#include <stdio.h>

namespace {

// The mask the program had before it held them.
sigset_t let_in;

// Faults and a refused write must act where they arise; the stops end
// nothing.
constexpr int not_held[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL,  SIGTRAP, SIGSYS,
			    SIGABRT, SIGPIPE, SIGXFSZ, SIGTSTP, SIGTTIN, SIGTTOU};

sigset_t ending_set()
{
	sigset_t set;
	sigfillset(&set);
	for (const int signal : not_held)
		sigdelset(&set, signal);
	return set;
}

// ppoll lets a held signal in only when it has to wait: on input that never
// pauses it returns at once, the signal still pending. Ignored ones (a
// window's resize, say) are dropped on the way.
void let_pending_signals_in()
{
	sigset_t pending;
	if (sigpending(&pending) != 0)
		return;
	sigandset(&pending, &pending, &ending_signals());
	if (sigisemptyset(&pending))
		return;
	sigprocmask(SIG_SETMASK, &let_in, nullptr);
	sigprocmask(SIG_BLOCK, &ending_signals(), nullptr);
}

void await_with_signals_in(pollfd *fds, nfds_t count, const timespec *timeout)
{
	fflush(stdout);
	let_pending_signals_in();
	ppoll(fds, count, timeout, &let_in);
}

} // namespace

const sigset_t &ending_signals()
{
	static const sigset_t set = ending_set();
	return set;
}

void hold_ending_signals()
{
	sigprocmask(SIG_BLOCK, &ending_signals(), &let_in);
}

void await_input(int fd)
{
	pollfd input = {fd, POLLIN, 0};
	await_with_signals_in(&input, 1, nullptr);
}

void await_seconds(unsigned seconds)
{
	const timespec timeout = {static_cast<time_t>(seconds), 0};
	await_with_signals_in(nullptr, 0, &timeout);
}
