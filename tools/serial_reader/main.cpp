// Prints every byte that arrives on a serial line set to 9600 8N1 raw.
#include "ending_signals.h"
#include "serial_line.h"

#include <errno.h>
#include <fcntl.h>
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

void print_bytes(const unsigned char *bytes, ssize_t count)
{
	for (ssize_t i = 0; i < count; i++)
		printf("get: %02x %c\n", bytes[i], bytes[i]);
}

// Returns only when the line is gone. The ending signals come in only while
// it waits for the line, with every line printed so far written out; it
// waits before each read, so a busy line lets them in too.
int print_incoming(int fd)
{
	for (;;) {
		unsigned char bytes[4096]; // as much as a line's input queue holds
		await_input(fd);
		const ssize_t result = read(fd, bytes, sizeof bytes);
		const int error = result < 0 ? errno : 0; // before puts can change it

		if (result > 0) {
			print_bytes(bytes, result);
			continue;
		}
		// Another reader took what the wait saw: wait again.
		if (error == EINTR || error == EAGAIN)
			continue;
		puts("can not get data");
		if (line_is_gone(result, error))
			return 1;
	}
}

// A read that finds nothing, the byte having gone to another reader of the
// line, must not block with the ending signals held. Should this fail, reads
// block as before.
void make_reads_return_at_once(int fd)
{
	const int flags = fcntl(fd, F_GETFL);
	if (flags >= 0)
		fcntl(fd, F_SETFL, flags | O_NONBLOCK);
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
	make_reads_return_at_once(fd);
	// From here on a signal ends the program only where all it printed, the
	// prompt too, is written out.
	hold_ending_signals();
	printf("Enter a char: ");
	return print_incoming(fd);
}
