// User memory as ARM 4.1 treats it: access_ok checks the caller's limit
// only, and a copy faults where the mapping ends.
#include <linux/irqflags.h>
#include <linux/uaccess.h>

#include "ksim/testing.hpp"

namespace {

using ksim::user::Buffer;
using Bytes = std::vector<std::uint8_t>;

class UaccessTest : public ksim::Test {};

TEST_F(UaccessTest, AccessOkChecksTheLimitNotTheMapping)
{
	Buffer buf(8);
	auto *p = static_cast<char *>(buf.data());
	EXPECT_TRUE(access_ok(VERIFY_WRITE, p, 8));
	EXPECT_TRUE(access_ok(VERIFY_WRITE, p + 6, 3));
	EXPECT_TRUE(access_ok(VERIFY_READ, nullptr, 1));
	EXPECT_FALSE(access_ok(VERIFY_READ, ksim::user::kernel_address(), 1));
	EXPECT_FALSE(access_ok(VERIFY_READ, ksim::user::kernel_address(), 0));
	EXPECT_FALSE(access_ok(VERIFY_WRITE, p, ~0UL));
}

TEST_F(UaccessTest, ACopyToUserStopsWhereTheMappingEnds)
{
	const char record[6] = {1, 2, 3, 4, 5, 6};
	Buffer four(4, 0xee);
	EXPECT_EQ(copy_to_user(four.data(), record, 6), 2U);
	EXPECT_EQ(four.bytes(), (Bytes{1, 2, 3, 4}));
	EXPECT_EQ(__copy_to_user(four.data(), record, 5), 1U);
	EXPECT_EQ(copy_to_user(nullptr, record, 1), 1U);

	EXPECT_EQ(copy_to_user(ksim::user::kernel_address(), record, 4), 4U);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());
}

TEST_F(UaccessTest, ACopyFromUserZeroFillsWhatItCouldNotCopy)
{
	Buffer two(2, 7);
	char bytes[4] = {9, 9, 9, 9};
	EXPECT_EQ(copy_from_user(bytes, two.data(), 4), 2U);
	EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{7, 7, 0, 0}));

	char byte = 42;
	EXPECT_EQ(copy_from_user(&byte, ksim::user::kernel_address(), 1), 1U);
	EXPECT_EQ(byte, 0);
}

TEST_F(UaccessTest, UncheckedCopiesBeyondTheLimitAreViolationsAndWriteNothing)
{
	const char record[2] = {7, 7};
	EXPECT_EQ(__copy_to_user(ksim::user::kernel_address(), record, 2), 2U);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());
	EXPECT_EQ(ksim::violations::take(),
		  std::vector<std::string>{"__copy_to_user on an address beyond the user limit"});
}

TEST_F(UaccessTest, CopyingWithInterruptsOffIsAViolation)
{
	Buffer buf(1);
	const char byte = 1;
	unsigned long flags;
	local_irq_save(flags);
	EXPECT_EQ(__copy_to_user(buf.data(), &byte, 1), 0U);
	local_irq_restore(flags);
	EXPECT_EQ(ksim::violations::take(), std::vector<std::string>{
		"sleeping call __copy_to_user with interrupts disabled"});
}

}  // namespace
