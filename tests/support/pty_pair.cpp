#include "pty_pair.h"

#include <fcntl.h>
#include <pty.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <stdexcept>
#include <system_error>

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

std::string read_all(int fd)
{
	std::string text;
	char buf[4096];
	ssize_t n;

	if (lseek(fd, 0, SEEK_SET) != 0)
		fail("lseek");
	while ((n = read(fd, buf, sizeof(buf))) > 0)
		text.append(buf, static_cast<size_t>(n));
	return text;
}

} // namespace

PtyPair::PtyPair()
{
	char name[128];

	if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
		fail("openpty");
	slave_path_ = name;
	set_cloexec(master_);
	set_cloexec(slave_);
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

bool PtyPair::await_unread(int count) const
{
	for (int tries = 0; tries < 5000; tries++) {
		if (unread_input() == count)
			return true;
		usleep(1000);
	}
	return false;
}

void PtyPair::hang_up()
{
	close(master_);
	master_ = -1;
}

void PtyPair::close_slave()
{
	close(slave_);
	slave_ = -1;
}

std::string captured(int fd, const std::function<void()> &body)
{
	FILE *file = tmpfile();
	if (!file)
		fail("tmpfile");
	fflush(nullptr);
	const int saved = dup(fd);
	dup2(fileno(file), fd);
	body();
	fflush(nullptr);
	dup2(saved, fd);
	close(saved);
	std::string text = read_all(fileno(file));
	fclose(file);
	return text;
}
