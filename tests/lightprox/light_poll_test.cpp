// light_poll seen from outside: it runs in a mount namespace of its own with
// a tmpfs on /dev, where a FIFO stands in for /dev/ap3216, and writes to a
// pseudo-terminal as a person would see it.
#include "ignored_arguments.h"
#include "program_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <csignal>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

using std::chrono::milliseconds;

// A record is 6 bytes: with @read_errno nonzero every read of one fails.
RunOptions light_poll(bool with_node, int read_errno, const std::vector<std::string> &args,
		      Stdout output)
{
	RunOptions run{LIGHT_POLL_PATH, "light_poll", args,
		       PrivateDev{"ap3216", with_node ? Node::fifo : Node::none}, {}, output};
	if (read_errno)
		run.refused = RefusedCall{SYS_read, 2, 6, read_errno};
	return run;
}

class Poller : public ProgramRun {
public:
	// @args follow the program's name.
	explicit Poller(bool with_node, int read_errno = 0,
			const std::vector<std::string> &args = {},
			Stdout output = Stdout::terminal)
		: ProgramRun(light_poll(with_node, read_errno, args, output))
	{
		// Read and write, so the open never waits for a reader.
		if (with_node)
			node_ = open_node(O_RDWR);
	}

	~Poller()
	{
		if (node_ >= 0)
			close(node_);
	}

	void feed(const std::vector<unsigned char> &bytes)
	{
		ASSERT_EQ(write(node_, bytes.data(), bytes.size()),
			  static_cast<ssize_t>(bytes.size()));
	}

private:
	int node_ = -1;
};

TEST(LightPoll, WithoutNodeReportsOpenFailureAndExits255)
{
	Poller poller(false);
	const std::string want = "open /dev/ap3216 failed\n";
	EXPECT_EQ(poller.output(want.size() + 1), want);
	EXPECT_EQ(poller.wait_exit(), 255);
	EXPECT_EQ(poller.errors(1), "");
}

TEST(LightPoll, PrintsEachRecordAsUnsignedDecimalWords)
{
	Poller poller(true);
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	const std::string first = "IR = 10, light = 300, dis = 100\n\n";
	EXPECT_EQ(poller.output(first.size()), first);

	// High bytes at or above 0x80 never make a value negative.
	poller.feed({0xff, 0xff, 0x80, 0x00, 0x00, 0x01});
	const std::string second = "IR = 65535, light = 32768, dis = 1\n\n";
	EXPECT_EQ(poller.output(second.size()), second);
	EXPECT_EQ(poller.wait_exit(milliseconds(0)), std::nullopt);
}

class LightPollArguments : public testing::TestWithParam<IgnoredArguments> {};

TEST_P(LightPollArguments, AreIgnored)
{
	Poller poller(true, 0, GetParam().args);
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
	Poller poller(true, 0, {}, Stdout::pipe);
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
	Poller poller(true, EIO);
	const std::string line = "read /dev/ap3216: Input/output error\n";
	EXPECT_EQ(poller.errors(2 * line.size()), line + line);
	EXPECT_EQ(poller.wait_exit(milliseconds(0)), std::nullopt);
	// Anything printed would have come before the second failure.
	EXPECT_EQ(poller.output(1, milliseconds(0)), "");
}

TEST(LightPoll, SensorGoneEndsWithStatus1)
{
	Poller poller(true, ENODEV);
	EXPECT_EQ(poller.wait_exit(), 1);
	EXPECT_EQ(poller.errors(1000), "read /dev/ap3216: No such device\n");
	EXPECT_EQ(poller.output(1), "");
}

} // namespace
