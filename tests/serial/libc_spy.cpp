#include "libc_spy.h"

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>

extern "C" int __real_fcntl(int fd, int cmd, ...);
extern "C" int __real_tcsetattr(int fd, int action, const termios *t);

namespace {

struct Spy {
	bool fail_setfl = false;
	int setfl_fd = -1;
	int tcsetattr_error = 0;
	bool applied = false;
	termios last{};
} spy;

} // namespace

namespace libc_spy {

void reset()
{
	spy = Spy{};
}

void fail_setfl()
{
	spy.fail_setfl = true;
}

int failed_setfl_fd()
{
	return spy.setfl_fd;
}

void fail_tcsetattr(int error)
{
	spy.tcsetattr_error = error;
}

const termios *last_applied()
{
	return spy.applied ? &spy.last : nullptr;
}

} // namespace libc_spy

// Every fcntl command this program uses takes at most one argument that
// fits a pointer.
extern "C" int __wrap_fcntl(int fd, int cmd, ...)
{
	va_list ap;
	va_start(ap, cmd);
	void *arg = va_arg(ap, void *);
	va_end(ap);

	if (cmd == F_SETFL && spy.fail_setfl) {
		spy.setfl_fd = fd;
		errno = EINVAL;
		return -1;
	}
	return __real_fcntl(fd, cmd, arg);
}

extern "C" int __wrap_tcsetattr(int fd, int action, const termios *t)
{
	spy.applied = true;
	spy.last = *t;
	if (spy.tcsetattr_error) {
		errno = spy.tcsetattr_error;
		return -1;
	}
	return __real_tcsetattr(fd, action, t);
}
