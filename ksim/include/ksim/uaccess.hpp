// User memory: what the calling process may hand to the kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ksim::user {

// A buffer in the caller's address space, mapped while it lives.
class Buffer {
public:
	explicit Buffer(std::size_t size, std::uint8_t fill = 0);
	~Buffer();
	Buffer(const Buffer &) = delete;
	Buffer &operator=(const Buffer &) = delete;

	void *data() { return bytes_.data(); }
	std::size_t size() const { return bytes_.size(); }
	std::uint8_t &operator[](std::size_t i) { return bytes_.at(i); }
	const std::vector<std::uint8_t> &bytes() const { return bytes_; }

private:
	std::vector<std::uint8_t> bytes_;
};

// An address beyond the caller's limit (kernel memory). The model watches
// the bytes behind it: kernel code must never write there for a caller.
void *kernel_address();
bool kernel_memory_untouched();

}  // namespace ksim::user
