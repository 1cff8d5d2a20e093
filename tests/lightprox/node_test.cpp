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

// A transfer as a test writes it down: what, where, and with which byte.
struct Seen {
	i2c::Op op;
	std::uint8_t command;
	std::uint8_t value;
	bool operator==(const Seen &o) const
	{
		return op == o.op && command == o.command && value == o.value;
	}
};

std::ostream &operator<<(std::ostream &out, const Seen &s)
{
	return out << (s.op == i2c::Op::write_byte_data ? "write " : "read ")
		   << int(s.command) << " " << int(s.value);
}

std::vector<Seen> traffic()
{
	std::vector<Seen> seen;
	for (const auto &t : i2c::transfers())
		seen.push_back({t.op, t.command, t.value});
	return seen;
}

const Seen reset = {i2c::Op::write_byte_data, 0x00, 0x04};
const Seen enable = {i2c::Op::write_byte_data, 0x00, 0x03};
const std::vector<Seen> record_reads = {{i2c::Op::read_word_data, 0x0a, 0},
					{i2c::Op::read_word_data, 0x0c, 0},
					{i2c::Op::read_word_data, 0x0e, 0}};

class Node : public SensorTest {
protected:
	// Bound and opened, with the open's own traffic forgotten.
	int open_bound()
	{
		bind();
		int fd = fs::open(node);
		EXPECT_GE(fd, 0);
		i2c::clear_transfers();
		return fd;
	}
};

TEST_F(Node, EveryOpenResetsWaitsFifteenMillisecondsAndEnables)
{
	bind();
	chip.set_measurement(Ap3216c::als_data, 0x0102);
	for (int round = 0; round < 2; round++) {
		SCOPED_TRACE(round);
		i2c::clear_transfers();
		const auto start = ksim::time::now();
		int fd = fs::open(node);
		ASSERT_GE(fd, 0);
		EXPECT_EQ(traffic(), (std::vector<Seen>{reset, enable}));
		const auto &t = i2c::transfers();
		EXPECT_EQ(t[0].when, start);
		EXPECT_EQ(t[1].when - t[0].when, ms(15));
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
	for (const auto &t : i2c::transfers())
		EXPECT_EQ(t.addr, addr);
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
	EXPECT_TRUE(i2c::transfers().empty());
}

TEST_F(Node, FailedResetOrEnableFailsTheOpen)
{
	bind();
	ksim::fault::inject("i2c_smbus_write_byte_data", -EIO);
	EXPECT_EQ(fs::open(node), -EIO);
	EXPECT_EQ(traffic(), std::vector<Seen>{reset});

	i2c::clear_transfers();
	ksim::fault::inject("i2c_smbus_write_byte_data", -EREMOTEIO, 1);
	EXPECT_EQ(fs::open(node), -EREMOTEIO);
	EXPECT_EQ(traffic(), (std::vector<Seen>{reset, enable}));
	EXPECT_EQ(chip.mode(), Ap3216c::mode_power_down);
}

// Adapter 0 is there, the sensor is not wired to it.
class Unplugged : public ksim::Test {
protected:
	Unplugged() { i2c::add_adapter(bus); }
};

TEST_F(Unplugged, OpenFailsWhenNothingAcknowledges)
{
	ASSERT_EQ(ksim::modules::load("lightprox_drv"), 0);
	ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
	EXPECT_EQ(fs::open(node), -ENXIO);
	EXPECT_EQ(traffic(), std::vector<Seen>{reset});
}

TEST_F(Node, FailedWordReadFailsTheReadAndCopiesNothing)
{
	chip.set_measurement(Ap3216c::als_data, 0x1234);
	int fd = open_bound();
	ksim::fault::inject("i2c_smbus_read_word_data", -EIO, 1);
	Buffer record(6, 0xaa);
	EXPECT_EQ(fs::read(fd, record.data(), 6), -EIO);
	EXPECT_EQ(record.bytes(), Bytes(6, 0xaa));
	EXPECT_EQ(i2c::transfers().size(), 2U);

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
	EXPECT_TRUE(i2c::transfers().empty());

	// A new client brings the sensor back to the same file.
	ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
	EXPECT_EQ(fs::read(fd, record.data(), 6), 0);
	EXPECT_EQ(fs::close(fd), 0);
}

}  // namespace
}  // namespace lightprox_test
