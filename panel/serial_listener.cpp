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
// Up to this many bytes a read: one wait then serves all a busy line holds.
constexpr std::size_t chunk_size = 256;

// The bytes of the frame being received, from its '{', in arrival order.
// The byte past the window stays zero, so a full window is still a
// terminated text.
struct Window {
	char text[window_size + 1] = {};
	std::size_t filled = 0;

	// True when the byte ended a frame, whose text stays until clear().
	// A frame starts at its '{': bytes before one are dropped, as is a
	// line end after the previous frame, and a '{' inside an unfinished
	// frame starts over there. A frame longer than the window is dropped
	// whole: its remainder waits for the next '{' like any stray byte.
	bool take(char byte)
	{
		if (byte == '{')
			clear();
		else if (filled == 0)
			return false;
		text[filled++] = byte;
		if (byte == '}')
			return true;
		if (filled == window_size)
			clear();
		return false;
	}
	void clear()
	{
		std::memset(text, 0, window_size);
		filled = 0;
	}
};

// The count of bytes read, 0 at end of file, -1 on an error. A signal is not
// the line's end, so an interrupted read is simply made again.
ssize_t read_bytes(int fd, char *bytes, std::size_t size)
{
	ssize_t n;
	do
		n = read(fd, bytes, size);
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
	stopping.store(true, std::memory_order_relaxed);
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
	Window window;
	char module[frame_field_size] = {};
	char value[frame_field_size] = {};
	char chunk[chunk_size];
	for (;;) {
		if (pollable) {
			const Wait woken = wait_for_byte();
			if (woken == Wait::stopped)
				return;
			if (woken == Wait::failed) {
				report_line_end(-1);
				return;
			}
		}
		const ssize_t count = read_bytes(fd, chunk, sizeof chunk);
		if (count <= 0) {
			report_line_end(count);
			return;
		}
		for (ssize_t i = 0; i < count; ++i) {
			// A stop wins over bytes read but not handled yet.
			if (stopping.load(std::memory_order_relaxed))
				return;
			if (window.take(chunk[i])) {
				handle_frame(window.text, module, value);
				window.clear();
			}
		}
	}
}

void Serial_Listener::handle_frame(const char *text, char (&module)[frame_field_size],
				   char (&value)[frame_field_size])
{
	std::printf("uart recv = %s\n", text);
	const bool taken_apart = parse_frame(text, module, value);
	if (taken_apart)
		std::printf("module = %s, value = %s\n", module, value);
	else
		std::puts("frame dropped: not {module,value}");
	// Flushed per frame so a log behind a pipe follows the line as it goes.
	std::fflush(stdout);
	if (taken_apart)
		emit to_main(module, value);
}
