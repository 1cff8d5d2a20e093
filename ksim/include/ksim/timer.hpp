// Kernel timers: each armed timer expires in timer context at the tick
// where jiffies reaches its expiry.
#pragma once

#include <cstddef>
#include <vector>

#include "ksim/time.hpp"

namespace ksim::timer {

std::size_t armed();
// When the armed timers will run, earliest first.
std::vector<time::Nanoseconds> due_times();

}  // namespace ksim::timer
