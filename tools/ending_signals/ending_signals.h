// The signals that end a program by their default action, let in only while
// it waits. A program holds them while it reads and prints; each wait flushes
// standard output, so one of them ending the program finds everything it
// printed written out, into a file or a pipe too, while printing needs no
// flush a line.
#pragma once

#include <signal.h>

// Blocks the ending signals. The mask in force before is the one the waits
// let them in with.
void hold_ending_signals();

// Every signal but those the program's own faults and writes raise, which
// must act where they arise, and the stops. Also for the mask of a handler
// that prints: none of them may cut its line short.
const sigset_t &ending_signals();

// Waits until fd has input, a hang-up or an error.
void await_input(int fd);

// Sleeps for seconds, or less when a handled signal comes.
void await_seconds(unsigned seconds);
