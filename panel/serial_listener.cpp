#include "serial_listener.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// A frame, braces included, fits in 20 bytes.
constexpr std::size_t window_size = 20;

// 1 for a byte, 0 at end of file, -1 on an error. A signal is not the line's
// end, so an interrupted read is simply made again.
ssize_t read_byte(int fd, char *byte)
{
	ssize_t n;
	do
		n = read(fd, byte, 1);
	while (n < 0 && errno == EINTR);
	return n;
}

void report_line_end(ssize_t result)
{
	if (result == 0)
		std::puts("uart recv ended: end of file");
	else
		std::printf("uart recv ended: %s\n", std::strerror(errno));
	std::fflush(stdout);
}

// poll never finds input on a descriptor that is not open for reading, yet a
// read of it fails at once: such a line goes straight to its read.
bool open_for_reading(int fd)
{
	const int flags = fcntl(fd, F_GETFL);
	return flags >= 0 && (flags & O_ACCMODE) != O_WRONLY;
}

} // namespace

Serial_Listener::Serial_Listener(int fd)
	: fd(fd), stop_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
	if (stop_fd < 0)
		stop_fd_error = errno;
}

Serial_Listener::~Serial_Listener()
{
	stop();
	wait();
	if (stop_fd >= 0)
		close(stop_fd);
}

void Serial_Listener::stop()
{
	if (stop_fd < 0)
		return;
	// The count is never read back: once set, the descriptor stays readable.
	const std::uint64_t one = 1;
	ssize_t n;
	do
		n = write(stop_fd, &one, sizeof one);
	while (n < 0 && errno == EINTR);
}

Serial_Listener::Wait Serial_Listener::wait_for_byte() const
{
	pollfd fds[2] = {{fd, POLLIN, 0}, {stop_fd, POLLIN, 0}};
	int n;
	do
		n = poll(fds, 2, -1);
	while (n < 0 && errno == EINTR);
	if (n < 0)
		return Wait::failed;
	// A stop wins over a byte that came with it.
	if (fds[1].revents != 0)
		return Wait::stopped;
	// A hang-up or an error is the read's to report.
	return Wait::byte;
}

void Serial_Listener::run()
{
	std::puts("uart_recv");
	std::fflush(stdout);
	// Without its stop descriptor the listener could not be stopped, and
	// the window closing it would wait for ever.
	if (stop_fd < 0) {
		errno = stop_fd_error;
		report_line_end(-1);
		return;
	}
	const bool pollable = open_for_reading(fd);
	// The byte past the window stays zero, so a full window is still a
	// terminated text.
	char window[window_size + 1] = {};
	char module[frame_field_size] = {};
	char value[frame_field_size] = {};
	for (;;) {
		for (std::size_t i = 0; i < window_size; ++i) {
			if (pollable) {
				const Wait woken = wait_for_byte();
				if (woken == Wait::stopped)
					return;
				if (woken == Wait::failed) {
					report_line_end(-1);
					return;
				}
			}
			ssize_t result = read_byte(fd, &window[i]);
			if (result <= 0) {
				report_line_end(result);
				return;
			}
			if (std::strchr(window, '}')) {
				handle_frame(window, module, value);
				break;
			}
		}
		std::memset(window, 0, window_size);
	}
}

void Serial_Listener::handle_frame(const char *text, char (&module)[frame_field_size],
				   char (&value)[frame_field_size])
{
	std::printf("uart recv = %s\n", text);
	parse_frame(text, module, value);
	std::printf("module = %s, value = %s\n", module, value);
	// Flushed per frame so a log behind a pipe follows the line as it goes.
	std::fflush(stdout);
	emit to_main(module, value);
}
