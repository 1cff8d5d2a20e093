// dht11_read seen from outside: in a mount namespace of its own, where a
// stand-in answers /dev/dht11 as temphum_drv does (a read fills the record
// and returns 0, or fails), with its output on a pipe or a terminal.
#include "program_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr std::size_t record_size = 5;

// One exchange of the sensor: a record, or the error the driver returns.
struct Exchange {
	std::string record;
	int error = 0;
};

// Answers the reads with the exchanges in turn, the last one for ever, and
// notes the size of each read.
class Sensor {
public:
	explicit Sensor(std::vector<Exchange> exchanges) : exchanges_(std::move(exchanges)) {}

	NodeModel model()
	{
		return {[this](std::size_t count) { return read(count); }, {}};
	}

	std::vector<std::size_t> reads()
	{
		std::lock_guard<std::mutex> hold(lock_);
		return reads_;
	}

private:
	NodeReply read(std::size_t count)
	{
		std::lock_guard<std::mutex> hold(lock_);
		reads_.push_back(count);
		const Exchange &now = exchanges_[std::min(next_++, exchanges_.size() - 1)];
		if (now.error)
			return {"", -now.error};
		// The driver copies at most its record and answers 0, not a count.
		return {now.record.substr(0, count), 0};
	}

	std::mutex lock_;
	std::vector<Exchange> exchanges_;
	std::size_t next_ = 0;
	std::vector<std::size_t> reads_;
};

std::string bytes(std::initializer_list<unsigned char> list)
{
	return std::string(list.begin(), list.end());
}

RunOptions dht11_read(Sensor *sensor, std::vector<std::string> args = {},
		      Stdout output = Stdout::terminal)
{
	PrivateDev dev{"dht11", sensor ? Node::served : Node::none, {}};
	if (sensor)
		dev.model = sensor->model();
	return {DHT11_READ, "dht11_read", std::move(args), dev, {}, output};
}

struct Reading {
	const char *what;
	Exchange exchange;
	const char *out;
	const char *err;
	int status;
};

class OneReading : public testing::TestWithParam<Reading> {};

TEST_P(OneReading, PrintsTheRecordOrWhyNot)
{
	Sensor sensor({GetParam().exchange});
	ProgramRun run(dht11_read(&sensor));
	EXPECT_EQ(run.wait_exit(), GetParam().status);
	EXPECT_EQ(run.rest_of_output(), GetParam().out);
	EXPECT_EQ(run.rest_of_errors(), GetParam().err);
	// One read of the whole record, whatever the read returned.
	EXPECT_EQ(sensor.reads(), std::vector<std::size_t>{record_size});
}

INSTANTIATE_TEST_SUITE_P(
	Dht11Read, OneReading,
	testing::Values(
		Reading{"record", {bytes({45, 0, 23, 5, 73})},
			"humidity = 45.0 %, temperature = 23.5 C\n", "", 0},
		Reading{"decimals_as_sent", {bytes({90, 1, 0, 9, 100})},
			"humidity = 90.1 %, temperature = 0.9 C\n", "", 0},
		// The checksum keeps its low 8 bits only.
		Reading{"checksum_wraps", {bytes({200, 9, 50, 3, 6})},
			"humidity = 200.9 %, temperature = 50.3 C\n", "", 0},
		Reading{"bad_checksum", {bytes({12, 0, 45, 7, 0})}, "",
			"/dev/dht11: bad checksum: 0c 00 2d 07 00\n", 1},
		Reading{"sensor_not_responding", {"", EIO}, "",
			"read /dev/dht11: Input/output error\n", 1},
		Reading{"unbound", {"", ENODEV}, "", "read /dev/dht11: No such device\n", 1}),
	[](const testing::TestParamInfo<Reading> &info) { return info.param.what; });

TEST(Dht11Read, WithoutItsNodeSaysSoAndExits3)
{
	ProgramRun run(dht11_read(nullptr));
	EXPECT_EQ(run.wait_exit(), 3);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(), "open /dev/dht11: No such file or directory\n");
}

struct Misuse {
	const char *what;
	std::vector<std::string> args;
	const char *problem;
};

class CommandLine : public testing::TestWithParam<Misuse> {};

TEST_P(CommandLine, IsRefusedBeforeTheSensorIsRead)
{
	Sensor sensor({{bytes({45, 0, 23, 5, 73})}});
	ProgramRun run(dht11_read(&sensor, GetParam().args));
	EXPECT_EQ(run.wait_exit(), 2);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(), std::string("dht11_read: ") + GetParam().problem +
						"\nusage: dht11_read [-i SECONDS]\n");
	EXPECT_TRUE(sensor.reads().empty());
}

INSTANTIATE_TEST_SUITE_P(
	Dht11Read, CommandLine,
	testing::Values(
		Misuse{"interval_under_the_sensors_limit", {"-i", "1"},
		       "the interval must be a whole number of at least 2 seconds"},
		Misuse{"interval_not_a_number", {"-i", "2s"},
		       "the interval must be a whole number of at least 2 seconds"},
		Misuse{"interval_negative", {"-i", "-5"},
		       "the interval must be a whole number of at least 2 seconds"},
		Misuse{"interval_missing", {"-i"}, "-i needs SECONDS"},
		Misuse{"unexpected_argument", {"now"}, "unexpected arguments"},
		Misuse{"extra_argument", {"-i", "2", "now"}, "unexpected arguments"}),
	[](const testing::TestParamInfo<Misuse> &info) { return info.param.what; });

// Repeating into a pipe: each reading is out when it is printed, a failed
// one is reported and the next one comes, and SIGTERM leaves every line.
TEST(Dht11Read, RepeatsEachIntervalAndGoesOnAfterAFailedRead)
{
	Sensor sensor({{bytes({45, 0, 23, 5, 73})}, {"", EIO}, {bytes({46, 0, 24, 0, 70})}});
	ProgramRun run(dht11_read(&sensor, {"-i", "2"}, Stdout::pipe));
	EXPECT_EQ(run.next_line(), "humidity = 45.0 %, temperature = 23.5 C");
	EXPECT_EQ(run.errors(38, std::chrono::seconds(5)), "read /dev/dht11: Input/output error\n");
	EXPECT_EQ(run.next_line(std::chrono::seconds(5)), "humidity = 46.0 %, temperature = 24.0 C");
	run.send(SIGTERM);
	EXPECT_EQ(run.wait_exit(), -1);
	EXPECT_EQ(run.rest_of_output(), "");
}

} // namespace
