#include "serial_listener.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

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

} // namespace

Serial_Listener::Serial_Listener(int fd) : fd(fd)
{
}

Serial_Listener::~Serial_Listener() = default;

void Serial_Listener::run()
{
	std::puts("uart_recv");
	std::fflush(stdout);
	// The byte past the window stays zero, so a full window is still a
	// terminated text.
	char window[window_size + 1] = {};
	char module[frame_field_size] = {};
	char value[frame_field_size] = {};
	for (;;) {
		for (std::size_t i = 0; i < window_size; ++i) {
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
