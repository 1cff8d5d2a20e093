// Opening and configuring a serial line through termios.
#ifndef SENSORKIT_SERIAL_LINE_H
#define SENSORKIT_SERIAL_LINE_H

// Opens a serial device read-write, without making it the controlling
// terminal, in blocking mode. Returns the descriptor, or -1.
int open_port(const char *path);

// Replaces the line's settings with raw ones: speed in bits per second
// (2400, 4800, 9600 or 115200; anything else means 9600), data bits (7 or 8;
// anything else means 5), parity ('N', 'O' or 'E'; anything else means none)
// and stop bits (2 for two; anything else means one). Reads then return as
// soon as one byte is there. Returns 0 when applied, -1 otherwise.
int set_opt(int fd, int speed, int bits, char parity, int stop);

#endif
