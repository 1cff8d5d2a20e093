// light_poll seen from outside: it runs in a mount namespace of its own with
// a tmpfs on /dev, where a stand-in answers /dev/ap3216 as lightprox_drv
// does, and writes to a pseudo-terminal as a person would see it.
#include "ignored_arguments.h"
#include "program_run.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr std::size_t record_size = 6;

// One read as the node answered it: the size asked and the result.
using Answer = std::pair<std::size_t, long>;

// The sensor behind the node. As the driver, a read of exactly six bytes
// fills them with the record and returns 0, another size fails with EINVAL.
// Each read takes the next record the test gives and, when none is left,
// waits for one as a slow bus would; with an error set, every read fails.
class Sensor {
public:
	static NodeModel model(const std::shared_ptr<Sensor> &sensor)
	{
		return {[sensor](std::size_t count) { return sensor->read(count); }, {}};
	}

	void give(const std::string &record)
	{
		std::lock_guard<std::mutex> hold(lock_);
		records_.push_back(record);
		given_.notify_all();
	}

	void fail_with(int error)
	{
		std::lock_guard<std::mutex> hold(lock_);
		error_ = error;
	}

	// Lets a waiting read go, and any later one, with EIO.
	void close()
	{
		std::lock_guard<std::mutex> hold(lock_);
		closed_ = true;
		given_.notify_all();
	}

	std::vector<Answer> answers()
	{
		std::lock_guard<std::mutex> hold(lock_);
		return answers_;
	}

private:
	NodeReply read(std::size_t count)
	{
		std::unique_lock<std::mutex> hold(lock_);
		const NodeReply reply = answer(count, hold);
		answers_.emplace_back(count, reply.result);
		return reply;
	}

	NodeReply answer(std::size_t count, std::unique_lock<std::mutex> &hold)
	{
		if (count != record_size)
			return {"", -EINVAL};
		if (error_)
			return {"", -error_};
		if (!given_.wait_for(hold, patience, [this] { return closed_ || !records_.empty(); }) ||
		    closed_)
			return {"", -EIO};
		NodeReply reply{records_.front(), 0};
		records_.pop_front();
		return reply;
	}

	std::mutex lock_;
	std::condition_variable given_;
	std::deque<std::string> records_;
	std::vector<Answer> answers_;
	int error_ = 0;
	bool closed_ = false;
};

struct PollerOptions {
	bool with_node = true;
	int read_error = 0;            // nonzero: every read of the node fails so
	std::vector<std::string> args; // after the program's name
	Stdout output = Stdout::terminal;
};

RunOptions light_poll(const PollerOptions &options, const std::shared_ptr<Sensor> &sensor)
{
	if (options.read_error)
		sensor->fail_with(options.read_error);
	return {LIGHT_POLL_PATH, "light_poll", options.args,
		PrivateDev{"ap3216", options.with_node ? Node::served : Node::none,
			   Sensor::model(sensor)},
		{}, options.output};
}

class Poller : public ProgramRun {
public:
	explicit Poller(const PollerOptions &options = {},
			std::shared_ptr<Sensor> sensor = std::make_shared<Sensor>())
		: ProgramRun(light_poll(options, sensor)), sensor_(std::move(sensor))
	{
	}

	// A read that waits for a record must not hold up the end of the run.
	~Poller() { sensor_->close(); }

	void feed(const std::vector<unsigned char> &bytes)
	{
		sensor_->give(std::string(bytes.begin(), bytes.end()));
	}

	Sensor &sensor() { return *sensor_; }

private:
	std::shared_ptr<Sensor> sensor_;
};

TEST(LightPoll, WithoutNodeReportsOpenFailureAndExits255)
{
	Poller poller({false, 0, {}});
	const std::string want = "open /dev/ap3216 failed\n";
	EXPECT_EQ(poller.output(want.size() + 1), want);
	EXPECT_EQ(poller.wait_exit(), 255);
	EXPECT_EQ(poller.errors(1), "");
}

TEST(LightPoll, PrintsEachRecordAsUnsignedDecimalWords)
{
	Poller poller;
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	EXPECT_EQ(poller.next_line(), "IR = 10, light = 300, dis = 100");
	EXPECT_EQ(poller.next_line(), "");

	// High bytes at or above 0x80 never make a value negative.
	poller.feed({0xff, 0xff, 0x80, 0x00, 0x00, 0x01});
	EXPECT_EQ(poller.next_line(), "IR = 65535, light = 32768, dis = 1");
	EXPECT_EQ(poller.next_line(), "");
	EXPECT_EQ(poller.wait_exit(milliseconds(0)), std::nullopt);
}

// The driver fills the record and returns 0: a program that took the
// result for the number of bytes read would print nothing, or zeros.
TEST(LightPoll, PrintsTheRecordAlthoughTheReadReturnedZero)
{
	Poller poller;
	poller.feed({0x12, 0x34, 0x00, 0x01, 0xfe, 0xdc});
	EXPECT_EQ(poller.next_line(), "IR = 4660, light = 1, dis = 65244");
	EXPECT_EQ(poller.next_line(), "");
	EXPECT_EQ(poller.sensor().answers(), (std::vector<Answer>{{record_size, 0}}));
}

class LightPollArguments : public testing::TestWithParam<IgnoredArguments> {};

TEST_P(LightPollArguments, AreIgnored)
{
	Poller poller({true, 0, GetParam().args});
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	const std::string reading = "IR = 10, light = 300, dis = 100\n\n";
	EXPECT_EQ(poller.output(reading.size()), reading);
	EXPECT_EQ(poller.errors(1, milliseconds(0)), "");
}

INSTANTIATE_TEST_SUITE_P(LightPoll, LightPollArguments,
			 testing::ValuesIn(ignored_arguments("/dev/ap3216")),
			 ignored_arguments_name);

// Into a file or a pipe, where the C library buffers fully, a reading must
// still be out when it is printed: the signal that ends the program writes
// out nothing.
class LightPollEndedBy : public testing::TestWithParam<int> {};

TEST_P(LightPollEndedBy, LeavesEveryReadingInItsPipe)
{
	Poller poller({true, 0, {}, Stdout::pipe});
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	const std::string reading = "IR = 10, light = 300, dis = 100\n\n";
	EXPECT_EQ(poller.output(reading.size()), reading);
	poller.send(GetParam());
	EXPECT_EQ(poller.wait_exit(), -1);
	EXPECT_EQ(poller.rest_of_output(), "");
}

INSTANTIATE_TEST_SUITE_P(LightPoll, LightPollEndedBy, testing::Values(SIGTERM, SIGINT),
			 [](const testing::TestParamInfo<int> &info) {
				 return info.param == SIGTERM ? "SIGTERM" : "SIGINT";
			 });

TEST(LightPoll, FailedReadIsReportedAndPollingGoesOn)
{
	Poller poller({true, EIO, {}});
	const std::string line = "read /dev/ap3216: Input/output error\n";
	EXPECT_EQ(poller.errors(2 * line.size()), line + line);
	EXPECT_EQ(poller.wait_exit(milliseconds(0)), std::nullopt);
	// Anything printed would have come before the second failure.
	EXPECT_EQ(poller.output(1, milliseconds(0)), "");
}

TEST(LightPoll, SensorGoneEndsWithStatus1)
{
	Poller poller({true, ENODEV, {}});
	EXPECT_EQ(poller.wait_exit(), 1);
	EXPECT_EQ(poller.errors(1000), "read /dev/ap3216: No such device\n");
	EXPECT_EQ(poller.output(1), "");
}

} // namespace
