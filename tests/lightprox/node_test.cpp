// /dev/ap3216: open resets and enables the chip, a six-byte read returns
// the three data words high byte first.
#include <linux/fs.h>

#include "sensor_fixture.hpp"

namespace lightprox_test {
namespace {

namespace fs = ksim::fs;
namespace i2c = ksim::i2c;
using ksim::user::Buffer;
using Bytes = std::vector<std::uint8_t>;
using ksim::time::ms;

// The SMBus transfers since the last clear, and when each was made.
std::vector<std::string> traffic()
{
	return ksim::events("i2c");
}

std::vector<ksim::time::Nanoseconds> traffic_times()
{
	std::vector<ksim::time::Nanoseconds> times;
	for (const ksim::Event &e : ksim::events())
		if (e.kind == "i2c")
			times.push_back(e.at);
	return times;
}

const std::string reset = "0-001e write 0x00 0x04";
const std::string enable = "0-001e write 0x00 0x03";
const std::vector<std::string> record_reads = {"0-001e read 0x0a", "0-001e read 0x0c",
					       "0-001e read 0x0e"};

class Node : public SensorTest {
protected:
	// Bound and opened, with the open's own traffic forgotten.
	int open_bound()
	{
		bind();
		int fd = fs::open(node);
		EXPECT_GE(fd, 0);
		ksim::clear_events();
		return fd;
	}
};

TEST_F(Node, EveryOpenResetsWaitsFifteenMillisecondsAndEnables)
{
	bind();
	chip.set_measurement(Ap3216c::als_data, 0x0102);
	for (int round = 0; round < 2; round++) {
		SCOPED_TRACE(round);
		ksim::clear_events();
		const auto start = ksim::time::now();
		int fd = fs::open(node);
		ASSERT_GE(fd, 0);
		EXPECT_EQ(traffic(), (std::vector<std::string>{reset, enable}));
		const auto t = traffic_times();
		ASSERT_EQ(t.size(), 2U);
		EXPECT_EQ(t[0], start);
		EXPECT_EQ(t[1] - t[0], ms(15));
		EXPECT_EQ(ksim::time::now() - start, ms(15));
		EXPECT_EQ(chip.mode(), Ap3216c::mode_als_ps_ir);
		fs::close(fd);
	}
}

TEST_F(Node, RecordIsTheThreeWordsHighByteFirstAndReadReturnsZero)
{
	chip.set_measurement(Ap3216c::ir_data, 0x000a);
	chip.set_measurement(Ap3216c::als_data, 0x1234);
	// Flag bits stay in the values: nothing is masked.
	chip.set_measurement(Ap3216c::ps_data, 0x8064);
	int fd = open_bound();
	Buffer record(6, 0xaa);
	EXPECT_EQ(fs::read(fd, record.data(), 6), 0);
	EXPECT_EQ(record.bytes(), (Bytes{0x00, 0x0a, 0x12, 0x34, 0x80, 0x64}));
	EXPECT_EQ(traffic(), record_reads);
}

TEST_F(Node, WrongSizesAreRefusedWithoutTouchingTheChip)
{
	int fd = open_bound();
	for (size_t count : {0, 5, 7, 64}) {
		SCOPED_TRACE(count);
		Buffer buf(64, 0xaa);
		EXPECT_EQ(fs::read(fd, buf.data(), count), -EINVAL);
		EXPECT_EQ(buf.bytes(), Bytes(64, 0xaa));
	}
	EXPECT_TRUE(traffic().empty());
}

TEST_F(Node, FailedResetOrEnableFailsTheOpen)
{
	bind();
	ksim::fault::inject("i2c_smbus_write_byte_data", -EIO);
	EXPECT_EQ(fs::open(node), -EIO);
	EXPECT_EQ(traffic(), std::vector<std::string>{reset});

	ksim::clear_events();
	ksim::fault::inject("i2c_smbus_write_byte_data", -EREMOTEIO, 1);
	EXPECT_EQ(fs::open(node), -EREMOTEIO);
	EXPECT_EQ(traffic(), (std::vector<std::string>{reset, enable}));
	EXPECT_EQ(chip.mode(), Ap3216c::mode_power_down);
}

// Adapter 0 is there, the sensor is not wired to it.
class Unplugged : public ksim::Test {
protected:
	Unplugged() { i2c::add_adapter(adapter); }
};

TEST_F(Unplugged, OpenFailsWhenNothingAcknowledges)
{
	ASSERT_EQ(ksim::modules::load("lightprox_drv"), 0);
	ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
	EXPECT_EQ(fs::open(node), -ENXIO);
	EXPECT_EQ(traffic(), std::vector<std::string>{reset});
}

TEST_F(Node, FailedWordReadFailsTheReadAndCopiesNothing)
{
	chip.set_measurement(Ap3216c::als_data, 0x1234);
	int fd = open_bound();
	ksim::fault::inject("i2c_smbus_read_word_data", -EIO, 1);
	Buffer record(6, 0xaa);
	EXPECT_EQ(fs::read(fd, record.data(), 6), -EIO);
	EXPECT_EQ(record.bytes(), Bytes(6, 0xaa));
	EXPECT_EQ(traffic().size(), 2U);

	// The next read tries again.
	EXPECT_EQ(fs::read(fd, record.data(), 6), 0);
	EXPECT_EQ(record.bytes(), (Bytes{0, 0, 0x12, 0x34, 0, 0}));
}

TEST_F(Node, BufferBeyondTheCallersLimitGetsEfault)
{
	int fd = open_bound();
	EXPECT_EQ(fs::read(fd, ksim::user::kernel_address(), 6), -EFAULT);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());
}

// Within the limit but mapped for four bytes: the copy fills those, and
// the read fails.
TEST_F(Node, BufferMappedForFewerBytesGetsThoseAndEfault)
{
	chip.set_measurement(Ap3216c::ir_data, 0x000a);
	chip.set_measurement(Ap3216c::als_data, 0x1234);
	int fd = open_bound();
	Buffer four(4, 0xaa);
	EXPECT_EQ(fs::read(fd, four.data(), 6), -EFAULT);
	EXPECT_EQ(four.bytes(), (Bytes{0x00, 0x0a, 0x12, 0x34}));
}

TEST_F(Node, FileLeftOpenAcrossRemoveNeverReachesTheReleasedClient)
{
	int fd = open_bound();
	ASSERT_EQ(ksim::modules::unload("lightprox_board"), 0);
	EXPECT_FALSE(fs::exists(node));

	Buffer record(6, 0xaa);
	EXPECT_EQ(fs::read(fd, record.data(), 6), -ENODEV);
	EXPECT_EQ(record.bytes(), Bytes(6, 0xaa));
	// An open that raced with remove, through the same file.
	struct file *f = fs::file(fd);
	EXPECT_EQ(f->f_op->open(f->f_inode, f), -ENODEV);
	EXPECT_TRUE(traffic().empty());

	// A new client brings the sensor back to the same file.
	ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
	EXPECT_EQ(fs::read(fd, record.data(), 6), 0);
	EXPECT_EQ(fs::close(fd), 0);
}

}  // namespace
}  // namespace lightprox_test
