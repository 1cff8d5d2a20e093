// serial_reader as it was before it kept its output lossless at its end, for
// serial_throughput to measure it beside: one read a byte, and standard
// output left to the C library's buffering. A baseline only, not one of the
// kit's programs.
#include "serial_line.h"

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

namespace {

bool line_is_gone(ssize_t result, int error)
{
	return result == 0 || error == EIO || error == ENXIO || error == EBADF;
}

int print_incoming(int fd)
{
	for (;;) {
		unsigned char byte;
		const ssize_t result = read(fd, &byte, 1);
		const int error = result < 0 ? errno : 0;

		if (result == 1) {
			printf("get: %02x %c\n", byte, byte);
			continue;
		}
		if (error == EINTR)
			continue;
		puts("can not get data");
		if (line_is_gone(result, error))
			return 1;
	}
}

} // namespace

int main(int argc, char *argv[])
{
	if (argc != 2)
		return -1;
	const int fd = open_port(argv[1]);
	if (fd < 0 || set_opt(fd, 9600, 8, 'N', 1) != 0)
		return -1;
	printf("Enter a char: ");
	return print_incoming(fd);
}
