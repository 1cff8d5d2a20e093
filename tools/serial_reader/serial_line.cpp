#include "serial_line.h"

#include <fcntl.h>
#include <stdio.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct parity_flags {
	tcflag_t cflag;
	tcflag_t iflag;
};

tcflag_t char_size(int bits)
{
	switch (bits) {
	case 7:
		return CS7;
	case 8:
		return CS8;
	default:
		return CS5; // no size bits at all, not a default of eight
	}
}

// Only the exact upper-case letters turn parity on.
parity_flags parity_of(char parity)
{
	switch (parity) {
	case 'O':
		return {PARENB | PARODD, INPCK | ISTRIP};
	case 'E':
		return {PARENB, INPCK | ISTRIP};
	default:
		return {0, 0};
	}
}

speed_t speed_code(int speed)
{
	switch (speed) {
	case 2400:
		return B2400;
	case 4800:
		return B4800;
	case 115200:
		return B115200;
	default:
		return B9600;
	}
}

tcflag_t stop_bits(int stop)
{
	return stop == 2 ? CSTOPB : 0;
}

// Everything not set here stays off: the record starts cleared, so there is
// no echo, no canonical mode, no signals, no output processing and no flow
// control.
termios raw_settings(int speed, int bits, char parity, int stop)
{
	termios settings{};
	const parity_flags p = parity_of(parity);

	settings.c_cflag = CLOCAL | CREAD | char_size(bits) | p.cflag |
			   stop_bits(stop);
	settings.c_iflag = p.iflag;
	cfsetispeed(&settings, speed_code(speed));
	cfsetospeed(&settings, speed_code(speed));
	settings.c_cc[VMIN] = 1;
	settings.c_cc[VTIME] = 0;
	return settings;
}

} // namespace

int open_port(const char *path)
{
	const int fd = open(path, O_RDWR | O_NOCTTY);

	if (fd == -1)
		return -1;
	if (fcntl(fd, F_SETFL, 0) < 0) {
		puts("fcntl failed!");
		close(fd);
		return -1;
	}
	return fd;
}

int set_opt(int fd, int speed, int bits, char parity, int stop)
{
	termios current; // read only to learn that fd is a terminal

	if (tcgetattr(fd, &current) != 0) {
		perror("SetupSerial 1");
		return -1;
	}
	const termios settings = raw_settings(speed, bits, parity, stop);

	tcflush(fd, TCIFLUSH);
	if (tcsetattr(fd, TCSANOW, &settings) != 0) {
		perror("com set error");
		return -1;
	}
	return 0;
}
