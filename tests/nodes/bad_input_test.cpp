// Every node read and written with the counts around its record size, with
// a good buffer and with one beyond the caller's limit: what the call
// returns, which bytes it copies, that a refused call changes nothing and
// that the node serves the next good call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "ksim/hw/ap3216c.hpp"
#include "ksim/hw/dht11.hpp"
#include "ksim/hw/pir.hpp"
#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using Bytes = std::vector<std::uint8_t>;

enum class Call { read, write };
enum class Buf { good, beyond_limit };

constexpr std::size_t large = 64 * 1024;
constexpr std::uint8_t untouched = 0xee;

struct Case {
	const char *node;
	Call call;
	std::size_t count;
	Buf buf;
	ssize_t result;
	// Bytes a read copies out, from the start of the node's record.
	std::size_t copied;
};

// The interfaces as their users see them: counts 0, 1, the record size,
// one more and a large count, each with a good buffer and a bad one.
const Case cases[] = {
	// /dev/dht11: five bytes, or as many as asked if fewer; a read returns 0.
	{"dht11", Call::read, 0, Buf::good, 0, 0},
	{"dht11", Call::read, 1, Buf::good, 0, 1},
	{"dht11", Call::read, 5, Buf::good, 0, 5},
	{"dht11", Call::read, 6, Buf::good, 0, 5},
	{"dht11", Call::read, large, Buf::good, 0, 5},
	// No zero-count row beyond the limit: whether an empty range there is
	// accessible differs between kernels, and nothing is copied either way.
	{"dht11", Call::read, 1, Buf::beyond_limit, -EFAULT, 0},
	{"dht11", Call::read, 5, Buf::beyond_limit, -EFAULT, 0},
	{"dht11", Call::read, 6, Buf::beyond_limit, -EFAULT, 0},
	{"dht11", Call::read, large, Buf::beyond_limit, -EFAULT, 0},
	// /dev/sr501: one byte, the line's level; a read returns 1.
	{"sr501", Call::read, 0, Buf::good, 0, 0},
	{"sr501", Call::read, 1, Buf::good, 1, 1},
	{"sr501", Call::read, 2, Buf::good, 1, 1},
	{"sr501", Call::read, large, Buf::good, 1, 1},
	{"sr501", Call::read, 0, Buf::beyond_limit, 0, 0},
	{"sr501", Call::read, 1, Buf::beyond_limit, -EFAULT, 0},
	{"sr501", Call::read, 2, Buf::beyond_limit, -EFAULT, 0},
	{"sr501", Call::read, large, Buf::beyond_limit, -EFAULT, 0},
	// /dev/ap3216: exactly six bytes; a read returns 0.
	{"ap3216", Call::read, 0, Buf::good, -EINVAL, 0},
	{"ap3216", Call::read, 1, Buf::good, -EINVAL, 0},
	{"ap3216", Call::read, 6, Buf::good, 0, 6},
	{"ap3216", Call::read, 7, Buf::good, -EINVAL, 0},
	{"ap3216", Call::read, large, Buf::good, -EINVAL, 0},
	{"ap3216", Call::read, 0, Buf::beyond_limit, -EINVAL, 0},
	{"ap3216", Call::read, 1, Buf::beyond_limit, -EINVAL, 0},
	{"ap3216", Call::read, 6, Buf::beyond_limit, -EFAULT, 0},
	{"ap3216", Call::read, 7, Buf::beyond_limit, -EINVAL, 0},
	{"ap3216", Call::read, large, Buf::beyond_limit, -EINVAL, 0},
	// /dev/sg90: exactly one byte, the angle; a write returns 1.
	{"sg90", Call::write, 0, Buf::good, 0, 0},
	{"sg90", Call::write, 1, Buf::good, 1, 0},
	{"sg90", Call::write, 2, Buf::good, -EINVAL, 0},
	{"sg90", Call::write, large, Buf::good, -EINVAL, 0},
	{"sg90", Call::write, 0, Buf::beyond_limit, 0, 0},
	{"sg90", Call::write, 1, Buf::beyond_limit, -EFAULT, 0},
	{"sg90", Call::write, 2, Buf::beyond_limit, -EINVAL, 0},
	{"sg90", Call::write, large, Buf::beyond_limit, -EINVAL, 0},
};

// The nodes have no operation for the other direction.
std::vector<Case> with_missing_operations()
{
	std::vector<Case> all(std::begin(cases), std::end(cases));
	const struct {
		const char *node;
		Call missing;
	} others[] = {{"dht11", Call::write}, {"sr501", Call::write}, {"ap3216", Call::write}, {"sg90", Call::read}};
	for (const auto &other : others)
		for (std::size_t count : {std::size_t{0}, std::size_t{1}, large})
			for (Buf buf : {Buf::good, Buf::beyond_limit})
				all.push_back({other.node, other.missing, count, buf, -EINVAL, 0});
	return all;
}

std::string name_of(const Case &c)
{
	return std::string(c.node) + (c.call == Call::read ? "_read_" : "_write_") +
	       (c.count == large ? "large" : std::to_string(c.count)) +
	       (c.buf == Buf::good ? "_good" : "_beyond_limit");
}

void PrintTo(const Case &c, std::ostream *out)
{
	*out << name_of(c);
}

constexpr unsigned pir_gpio = 17;
constexpr unsigned dht11_gpio = 18;
constexpr unsigned servo_channel = 3;
// The servo is set to one angle before each case, the case writes another.
constexpr std::uint8_t first_angle = 45;
constexpr std::uint8_t angle = 90;
constexpr unsigned angle_duty_ns = 1500000;

class BadInput : public ksim::Test, public testing::WithParamInterface<Case> {
protected:
	void SetUp() override
	{
		i2c::add_adapter(0);
		i2c::attach(0, hw::Ap3216c::address, chip);
		chip.set_measurement(hw::Ap3216c::ir_data, 0x000a);
		chip.set_measurement(hw::Ap3216c::als_data, 0x012c);
		chip.set_measurement(hw::Ap3216c::ps_data, 0x0064);
		pir.set(1);
		dht11.set_record(dht11_record());
		dt::add({"dht11", {"hc-dht11"}, {{dht11_gpio, 0}}, {}});
		dt::add({"pir", {"hc-sr501"}, {{pir_gpio, 0}}, {}});
		dt::add({"servo", {"hc-sg90"}, {}, {{"pwms", {servo_channel}}}});
		for (const char *module : {"temphum_drv", "motion_drv", "lightprox_drv", "lightprox_board", "servo_drv"})
			ASSERT_EQ(modules::load(module), 0) << module;
	}

	static hw::Dht11::Record dht11_record() { return hw::Dht11::reading(55, 1, 23, 4); }

	// What a refused call must leave as it was: measurements of the DHT11,
	// writes to the light sensor's registers, calls on the servo's channel.
	std::string observable_state() const
	{
		const auto transfers = events("i2c");
		const auto writes = std::count_if(
			transfers.begin(), transfers.end(),
			[](const std::string &t) { return t.find(" write ") != std::string::npos; });
		return std::to_string(dht11.answers()) + " DHT11 answers, " +
		       std::to_string(writes) + " register writes, " +
		       std::to_string(events("pwm").size()) + " channel calls, duty " +
		       std::to_string(pwm::channel(servo_channel).duty_cycle);
	}

	static Bytes record(const std::string &node)
	{
		if (node == "dht11") {
			const hw::Dht11::Record r = dht11_record();
			return Bytes(r.begin(), r.end());
		}
		if (node == "sr501")
			return {1};
		return {0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64};
	}

	static ssize_t call(int fd, Call call, void *buf, std::size_t count)
	{
		return call == Call::read ? fs::read(fd, buf, count) : fs::write(fd, buf, count);
	}

	// The DHT11 hears no start signal while it rests after an answer: each
	// call waits that out, as its readers do.
	void wait_for_rest() { time::advance_to(dht11.rested_at()); }

	// The call the node is there for, on a fresh buffer.
	ssize_t good_call(int fd, const std::string &node)
	{
		wait_for_rest();
		user::Buffer buf(6, first_angle);
		if (node == "sg90")
			return fs::write(fd, buf.data(), 1);
		return fs::read(fd, buf.data(), record(node).size());
	}

	hw::Pir pir{pir_gpio};
	hw::Dht11 dht11{gpio::line(dht11_gpio)};
	hw::Ap3216c chip;
};

TEST_P(BadInput, TheNodeAnswersAsItsUsersExpect)
{
	const Case &c = GetParam();
	const std::string path = std::string("/dev/") + c.node;
	const int fd = fs::open(path);
	ASSERT_GE(fd, 0);
	const ssize_t good_result = good_call(fd, c.node);

	user::Buffer buf(c.count + 16, untouched);
	if (c.call == Call::write)
		buf[0] = angle;
	void *target = c.buf == Buf::good ? buf.data() : user::kernel_address();
	wait_for_rest();
	const std::string before = observable_state();

	EXPECT_EQ(call(fd, c.call, target, c.count), c.result);

	EXPECT_TRUE(user::kernel_memory_untouched());
	if (c.result < 0) {
		EXPECT_EQ(observable_state(), before) << "a refused call changed the device";
	}
	if (c.call == Call::read) {
		Bytes expected(buf.size(), untouched);
		const Bytes rec = record(c.node);
		std::copy(rec.begin(), rec.begin() + c.copied, expected.begin());
		EXPECT_EQ(buf.bytes(), expected);
	}
	if (c.call == Call::write && c.result == 1) {
		EXPECT_EQ(pwm::channel(servo_channel).duty_cycle, angle_duty_ns);
	}

	EXPECT_EQ(good_call(fd, c.node), good_result) << "the next good call fails";
	EXPECT_EQ(fs::close(fd), 0);
}

INSTANTIATE_TEST_SUITE_P(Nodes, BadInput, testing::ValuesIn(with_missing_operations()),
			 [](const testing::TestParamInfo<Case> &info) { return name_of(info.param); });

}  // namespace
