// Test support: waiting for a state instead of sleeping for a time.
#ifndef SENSORKIT_TESTS_WAIT_H
#define SENSORKIT_TESTS_WAIT_H

#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

// Bounds a hang; a healthy run answers within milliseconds.
constexpr std::chrono::milliseconds patience{10000};

// Asks `holds` until it answers true or `within` has passed; its last answer.
// Each look costs a system call or two, so a look a millisecond is cheap.
template <class Condition>
bool wait_until(Condition holds, std::chrono::milliseconds within = patience,
		std::chrono::microseconds step = std::chrono::milliseconds(1))
{
	const auto deadline = std::chrono::steady_clock::now() + within;
	while (!holds()) {
		if (std::chrono::steady_clock::now() >= deadline)
			return holds();
		std::this_thread::sleep_for(step);
	}
	return true;
}

// Whether thread `tid` of this process sleeps in the kernel (state S), as
// one waiting in a read does.
inline bool thread_sleeps(pid_t tid)
{
	std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
	const std::string fields{std::istreambuf_iterator<char>(stat), {}};
	// The name, in parentheses, may hold anything; the state follows it.
	const auto name_end = fields.rfind(')');
	return name_end != std::string::npos && name_end + 2 < fields.size() &&
	       fields[name_end + 2] == 'S';
}

#endif
