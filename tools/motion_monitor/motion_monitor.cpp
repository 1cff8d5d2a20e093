// motion_monitor: prints the PIR sensor's level each time /dev/sr501
// signals a change, until SIGINT.
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "ending_signals.h"

namespace {

const char node_path[] = "/dev/sr501";

// Shared with both signal handlers.
int fd;

void handler(int)
{
	close(fd);
	exit(0);
}

// Out at once, also into a file or a pipe: a signal that ends the program
// by its default action writes nothing that is still buffered.
void print_level(unsigned char val)
{
	printf("val is %d, %s\n", val, val == 1 ? "have people" : "no people");
	fflush(stdout);
}

void sr501_handler(int)
{
	unsigned char val;

	// After a failed read the byte holds nothing worth printing.
	if (read(fd, &val, 1) <= 0)
		return;
	print_level(val);
}

// Makes this process the receiver of the file's SIGIO and switches the
// notification on; says why on standard error if it cannot.
bool enable_notification(int file)
{
	if (fcntl(file, F_SETOWN, getpid()) < 0) {
		perror("fcntl F_SETOWN");
		return false;
	}
	int flags = fcntl(file, F_GETFL);
	if (flags < 0) {
		perror("fcntl F_GETFL");
		return false;
	}
	if (fcntl(file, F_SETFL, flags | FASYNC) < 0) {
		perror("fcntl F_SETFL");
		return false;
	}
	return true;
}

// Each handler runs with both signals held, and every other that ends the
// program: SIGINT's exit() flushes standard output too, so landing inside
// SIGIO's printf it would print the line a second time; a SIGIO must not
// print into the exit; and SIGTERM, say, must not end the program between
// a line's printf and its flush.
void install(int signal, void (*on_signal)(int))
{
	struct sigaction action = {};
	action.sa_handler = on_signal;
	action.sa_flags = SA_RESTART;
	action.sa_mask = ending_signals();
	sigaction(signal, &action, nullptr);
}

} // namespace

int main()
{
	// Both handlers before the open: SIGIO's default action ends the process.
	install(SIGINT, handler);
	install(SIGIO, sr501_handler);

	fd = open(node_path, O_RDWR);
	if (fd < 0) {
		puts("/dev/sr501 open failed");
		return 1;
	}
	if (!enable_notification(fd))
		return 1;

	for (;;)
		sleep(1);
}
