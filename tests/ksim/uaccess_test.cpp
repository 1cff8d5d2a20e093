#include <linux/irqflags.h>
#include <linux/uaccess.h>

#include "ksim/testing.hpp"

namespace {

using ksim::user::Buffer;

class UaccessTest : public ksim::Test {};

TEST_F(UaccessTest, AccessOkAcceptsOnlyRangesInsideMappedUserMemory)
{
	Buffer buf(8);
	auto *p = static_cast<char *>(buf.data());
	EXPECT_TRUE(access_ok(VERIFY_WRITE, p, 8));
	EXPECT_TRUE(access_ok(VERIFY_WRITE, p + 6, 2));
	EXPECT_FALSE(access_ok(VERIFY_WRITE, p + 6, 3));
	EXPECT_FALSE(access_ok(VERIFY_READ, ksim::user::kernel_address(), 1));
	EXPECT_FALSE(access_ok(VERIFY_READ, nullptr, 1));
}

TEST_F(UaccessTest, CheckedCopiesRefuseTheKernelAddressAndReportBytesLeft)
{
	const char record[4] = {1, 2, 3, 4};
	EXPECT_EQ(copy_to_user(ksim::user::kernel_address(), record, 4), 4U);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());

	Buffer buf(4);
	EXPECT_EQ(copy_to_user(buf.data(), record, 4), 0U);
	EXPECT_EQ(buf.bytes(), (std::vector<std::uint8_t>{1, 2, 3, 4}));
}

TEST_F(UaccessTest, AFailedCopyFromUserZeroFillsTheDestination)
{
	char byte = 42;
	EXPECT_EQ(copy_from_user(&byte, ksim::user::kernel_address(), 1), 1U);
	EXPECT_EQ(byte, 0);
}

TEST_F(UaccessTest, UncheckedCopiesBeyondTheLimitAreViolationsAndWriteNothing)
{
	const char record[2] = {7, 7};
	EXPECT_EQ(__copy_to_user(ksim::user::kernel_address(), record, 2), 2U);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());
	auto found = ksim::violations::take();
	ASSERT_EQ(found.size(), 1U);
	EXPECT_EQ(found[0], "__copy_to_user on an address beyond the user limit");
}

TEST_F(UaccessTest, CopyingWithInterruptsOffIsAViolation)
{
	Buffer buf(1);
	const char byte = 1;
	unsigned long flags;
	local_irq_save(flags);
	__copy_to_user(buf.data(), &byte, 1);
	local_irq_restore(flags);
	EXPECT_EQ(ksim::violations::take(),
		  (std::vector<std::string>{
			  "sleeping call __copy_to_user with interrupts disabled"}));
}

}  // namespace
