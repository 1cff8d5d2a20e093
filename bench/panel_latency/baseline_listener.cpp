#include "baseline_listener.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

constexpr std::size_t window_size = 20;

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

void Baseline_Listener::run()
{
	std::puts("uart_recv");
	std::fflush(stdout);
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

void Baseline_Listener::handle_frame(const char *text, char (&module)[frame_field_size],
				     char (&value)[frame_field_size])
{
	std::printf("uart recv = %s\n", text);
	parse_frame(text, module, value);
	std::printf("module = %s, value = %s\n", module, value);
	std::fflush(stdout);
	emit to_main(module, value);
}
