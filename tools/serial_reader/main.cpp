// Prints every byte that arrives on a serial line set to 9600 8N1 raw.
#include "serial_line.h"

#include <errno.h>
#include <stdio.h>
#include <unistd.h>

namespace {

void print_usage(const char *program)
{
	puts("Usage: ");
	printf("%s </dev/ttySAC1 or other>\n", program);
}

// End of file is a hang-up; these errors mean the line will not come back,
// so reading on would only spin.
bool line_is_gone(ssize_t result, int error)
{
	return result == 0 || error == EIO || error == ENXIO || error == EBADF;
}

// Returns only when the line is gone.
int print_incoming(int fd)
{
	for (;;) {
		unsigned char byte;
		const ssize_t result = read(fd, &byte, 1);
		const int error = result < 0 ? errno : 0; // before puts can change it

		if (result == 1) {
			printf("get: %02x %c\n", byte, byte);
			fflush(stdout);
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
	if (argc != 2) {
		// An exec with an empty argument list leaves no name to print.
		print_usage(argc > 0 ? argv[0] : "serial_reader");
		return -1;
	}
	const int fd = open_port(argv[1]);
	if (fd < 0) {
		printf("open %s err!\n", argv[1]);
		return -1;
	}
	if (set_opt(fd, 9600, 8, 'N', 1) != 0) {
		puts("set port err!");
		return -1;
	}
	// Out at once, also into a file or a pipe, as every line after it: the
	// signal that ends the program writes nothing still buffered.
	printf("Enter a char: ");
	fflush(stdout);
	return print_incoming(fd);
}
