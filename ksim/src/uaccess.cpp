// User memory and the copies across the user/kernel boundary.
#include <linux/uaccess.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "internal.hpp"

namespace ksim {
namespace {

constexpr std::uint8_t kernel_pattern = 0x5a;

struct Memory {
	// Where each live Buffer starts, and its size.
	std::map<std::uintptr_t, std::size_t> mapped;
	std::array<std::uint8_t, 64> kernel;
};

Memory &memory()
{
	static Memory m;
	return m;
}

std::uintptr_t address(const void *p) { return reinterpret_cast<std::uintptr_t>(p); }

// As ARM's __range_ok: the range must end below the caller's limit, and
// nothing else is checked. The kernel memory stands for all that lies
// beyond the limit: a range that wraps or reaches into it is refused.
bool within_limit(const void *addr, unsigned long size)
{
	const std::uintptr_t start = address(addr), kernel = address(memory().kernel.data());
	return start + size >= start &&
	       (start + std::max(size, 1UL) <= kernel || start >= kernel + memory().kernel.size());
}

// A copy may fault, so may sleep. It faults at the first byte no Buffer
// maps: it moves the bytes before that and returns how many it did not.
unsigned long copy(const char *call, void *to, const void *from, const void *user, unsigned long n)
{
	ksim_might_sleep(call);
	const std::uintptr_t start = address(user);
	auto it = memory().mapped.upper_bound(start);
	const std::uintptr_t end =
		it == memory().mapped.begin() ? 0 : std::prev(it)->first + std::prev(it)->second;
	const unsigned long done = end > start ? std::min<unsigned long>(n, end - start) : 0;
	if (done)
		std::memcpy(to, from, done);
	return n - done;
}

}  // namespace

user::Buffer::Buffer(std::size_t size, std::uint8_t fill) : bytes_(size, fill)
{
	memory().mapped[address(bytes_.data())] = bytes_.size();
}

user::Buffer::~Buffer() { memory().mapped.erase(address(bytes_.data())); }

void *user::kernel_address() { return memory().kernel.data(); }

bool user::kernel_memory_untouched()
{
	return std::all_of(memory().kernel.begin(), memory().kernel.end(),
			   [](std::uint8_t b) { return b == kernel_pattern; });
}

void detail::reset_user() { memory().kernel.fill(kernel_pattern); }

}  // namespace ksim

using ksim::within_limit;

extern "C" {

int ksim_access_ok(const void *addr, unsigned long size) { return within_limit(addr, size); }

// The unchecked copy trusts its caller: beyond the limit it would write
// kernel memory, which the model reports instead of doing.
unsigned long __copy_to_user(void *to, const void *from, unsigned long n)
{
	if (within_limit(to, n))
		return ksim::copy("__copy_to_user", to, from, to, n);
	ksim_might_sleep("__copy_to_user");
	ksim::violations::report("__copy_to_user on an address beyond the user limit");
	return n;
}

unsigned long copy_to_user(void *to, const void *from, unsigned long n)
{
	if (within_limit(to, n))
		return ksim::copy("copy_to_user", to, from, to, n);
	ksim_might_sleep("copy_to_user");
	return n;
}

// As the kernel's, it zero-fills what it could not copy.
unsigned long copy_from_user(void *to, const void *from, unsigned long n)
{
	unsigned long left = n;
	if (within_limit(from, n))
		left = ksim::copy("copy_from_user", to, from, from, n);
	else
		ksim_might_sleep("copy_from_user");
	std::memset(static_cast<char *>(to) + (n - left), 0, left);
	return left;
}

}  // extern "C"
