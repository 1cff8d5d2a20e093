// Virtual time: a nanosecond clock and the events scheduled on it.
#pragma once

#include <cstdint>
#include <functional>

namespace ksim::time {

using Nanoseconds = std::uint64_t;
using EventId = std::uint64_t;

constexpr Nanoseconds us(std::uint64_t n) { return n * 1000; }
constexpr Nanoseconds ms(std::uint64_t n) { return n * 1000 * 1000; }

// Time moves only here, or when kernel code busy-waits or sleeps; events
// due on the way run in time order (then in the order they were scheduled).
Nanoseconds now();
void advance(Nanoseconds delta);
void advance_to(Nanoseconds when);

EventId at(Nanoseconds when, std::function<void()> action);
EventId after(Nanoseconds delay, std::function<void()> action);
bool cancel(EventId id);
bool pending(EventId id);

// The board's 32-bit tick counter at HZ=100, INITIAL_JIFFIES at time 0.
unsigned long current_jiffies();
constexpr Nanoseconds tick = ms(10);

}  // namespace ksim::time
