// User memory and the copies across the user/kernel boundary.
#include "ksim/uaccess.hpp"

#include <linux/uaccess.h>

#include <ksim/runtime.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::user {
namespace {

constexpr std::uint8_t kernel_pattern = 0x5a;

std::map<const std::uint8_t *, std::size_t> &mapped()
{
	static std::map<const std::uint8_t *, std::size_t> ranges;
	return ranges;
}

std::array<std::uint8_t, 64> &kernel_memory()
{
	static std::array<std::uint8_t, 64> memory;
	return memory;
}

}  // namespace

Buffer::Buffer(std::size_t size, std::uint8_t fill) : bytes_(size, fill)
{
	mapped()[bytes_.data()] = bytes_.size();
}

Buffer::~Buffer()
{
	mapped().erase(bytes_.data());
}

void *kernel_address()
{
	return kernel_memory().data();
}

bool kernel_memory_untouched()
{
	const auto &memory = kernel_memory();
	return std::all_of(memory.begin(), memory.end(),
			   [](std::uint8_t b) { return b == kernel_pattern; });
}

}  // namespace ksim::user

namespace ksim::detail {

void reset_user()
{
	user::kernel_memory().fill(user::kernel_pattern);
}

bool user_range_mapped(const void *addr, unsigned long size)
{
	auto *start = static_cast<const std::uint8_t *>(addr);
	auto &ranges = user::mapped();
	auto it = ranges.upper_bound(start);
	if (it == ranges.begin())
		return false;
	--it;
	return start >= it->first && size <= it->second &&
	       static_cast<std::size_t>(start - it->first) <= it->second - size;
}

}  // namespace ksim::detail

namespace {

// The access check's answer: the range lies within the caller's limit.
bool within_limit(const void *addr, unsigned long size)
{
	return size == 0 || ksim::detail::user_range_mapped(addr, size);
}

// The unchecked copies trust their caller: outside the limit they would
// write kernel memory, which the model reports instead of doing.
bool checked_by_caller(const char *call, const void *addr, unsigned long size)
{
	if (within_limit(addr, size))
		return true;
	ksim::violations::report(std::string(call) +
				 " on an address beyond the user limit");
	return false;
}

enum class Check { here, by_caller };

// Every copy may fault, so may sleep; it moves all or nothing.
unsigned long copy(const char *call, void *to, const void *from, const void *user,
		   unsigned long n, Check check)
{
	ksim_might_sleep(call);
	bool allowed = check == Check::here ? within_limit(user, n)
					    : checked_by_caller(call, user, n);
	if (!allowed)
		return n;
	if (n)
		std::memcpy(to, from, n);
	return 0;
}

}  // namespace

extern "C" {

int ksim_access_ok(int, const void *addr, unsigned long size)
{
	return within_limit(addr, size);
}

unsigned long __copy_to_user(void *to, const void *from, unsigned long n)
{
	return copy("__copy_to_user", to, from, to, n, Check::by_caller);
}

unsigned long __copy_from_user(void *to, const void *from, unsigned long n)
{
	return copy("__copy_from_user", to, from, from, n, Check::by_caller);
}

unsigned long copy_to_user(void *to, const void *from, unsigned long n)
{
	return copy("copy_to_user", to, from, to, n, Check::here);
}

unsigned long copy_from_user(void *to, const void *from, unsigned long n)
{
	unsigned long left = copy("copy_from_user", to, from, from, n, Check::here);
	// As the kernel does, the destination is zero-filled on a fault.
	if (left)
		std::memset(to, 0, n);
	return left;
}

}  // extern "C"
