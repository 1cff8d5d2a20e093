// Test support: the test programs are linked with --wrap=fcntl and
// --wrap=tcsetattr, so every call of those goes through here. The spy keeps
// the last record handed to tcsetattr (a pseudo-terminal rewrites the
// character size and parity bits it stores, so reading the line back cannot
// show them) and fails either call on demand.
#ifndef SENSORKIT_TESTS_LIBC_SPY_H
#define SENSORKIT_TESTS_LIBC_SPY_H

#include <termios.h>

namespace libc_spy {

void reset();

// fcntl(fd, F_SETFL, ...) fails with EINVAL; the spy notes the descriptor.
void fail_setfl();
int failed_setfl_fd();

// tcsetattr fails with the given error without touching the line.
void fail_tcsetattr(int error);

// The record of the last tcsetattr call, or nullptr when there was none.
const termios *last_applied();

} // namespace libc_spy

#endif
