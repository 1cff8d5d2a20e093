#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace {

[[noreturn]] void fail(const char *what)
{
	throw std::system_error(errno, std::generic_category(), what);
}

void set_cloexec(int fd)
{
	if (fcntl(fd, F_SETFD, FD_CLOEXEC) != 0)
		fail("F_SETFD");
}

} // namespace

PtyPair::PtyPair(Slave slave)
{
	char name[128];

	if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
		fail("openpty");
	slave_path_ = name;
	set_cloexec(master_);
	set_cloexec(slave_);
	if (slave == Slave::by_path)
		close_slave();
}

PtyPair::~PtyPair()
{
	if (master_ >= 0)
		close(master_);
	if (slave_ >= 0)
		close(slave_);
}

void PtyPair::send(const std::string &bytes) const
{
	size_t done = 0;

	while (done < bytes.size()) {
		const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
		if (n < 0)
			fail("write to master");
		done += static_cast<size_t>(n);
	}
}

termios PtyPair::slave_settings() const
{
	termios t;

	if (tcgetattr(slave_, &t) != 0)
		fail("tcgetattr");
	return t;
}

void PtyPair::make_raw() const
{
	termios t = slave_settings();

	cfmakeraw(&t);
	if (tcsetattr(slave_, TCSANOW, &t) != 0)
		fail("tcsetattr");
}

int PtyPair::unread_input() const
{
	int count;

	if (ioctl(slave_, TIOCINQ, &count) != 0)
		fail("TIOCINQ");
	return count;
}

bool PtyPair::await_unread(int count, std::chrono::milliseconds within) const
{
	return wait_until([&] { return unread_input() == count; }, within);
}

bool PtyPair::slave_closed() const
{
	pollfd master = {master_, POLLIN, 0};
	return poll(&master, 1, 0) == 1 && (master.revents & POLLHUP);
}

void PtyPair::hang_up()
{
	close(std::exchange(master_, -1));
}

void PtyPair::close_slave()
{
	close(std::exchange(slave_, -1));
}
