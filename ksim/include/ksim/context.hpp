// Execution contexts, local interrupt masking, and the violations the
// model reports when kernel code breaks the rules of its context.
#pragma once

#include <string>
#include <vector>

#include "ksim/time.hpp"

namespace ksim {

enum class Context { process, hardirq, timer };

Context current_context();

// Runs the enclosed code in another context; a hard interrupt also masks
// local interrupts for its duration, as the kernel's entry code does.
class ContextScope {
public:
	explicit ContextScope(Context context);
	~ContextScope();
	ContextScope(const ContextScope &) = delete;
	ContextScope &operator=(const ContextScope &) = delete;

private:
	Context previous_;
	unsigned long saved_flags_ = 0;
	bool masked_ = false;
};

namespace irq {
bool disabled();
// Longest stretch with local interrupts off since reset or the last clear.
time::Nanoseconds longest_off_window();
void clear_off_windows();
}  // namespace irq

namespace violations {
void report(const std::string &what);
const std::vector<std::string> &all();
// Hands the recorded violations to a test that provoked them on purpose.
std::vector<std::string> take();
}  // namespace violations

}  // namespace ksim
