// Asynchronous notification: the signals kill_fasync sends to the owners
// of the files on a driver's list.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <vector>

#include "ksim/time.hpp"

namespace ksim::fasync {

constexpr int sigio = 29;
constexpr int band_poll_in = 0x20001;

struct Signal {
	pid_t owner;     // the file's F_SETOWN process
	int signal;      // as the driver named it
	int band;
	int fd;          // the descriptor the file registered with
	time::Nanoseconds at;
};

const std::vector<Signal> &signals();
// The signals one process received.
std::vector<Signal> received_by(pid_t owner);
// List entries allocated by fasync_helper and not yet freed.
std::size_t entries();

}  // namespace ksim::fasync
