// The real motion_monitor binary against a FIFO standing in for /dev/sr501:
// a byte written to the FIFO raises SIGIO for the program, which reads it
// as the sensor's level.
#include "ignored_arguments.h"
#include "program_run.h"

#include <cerrno>
#include <cstdint>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using testing::HasSubstr;

struct MonitorOptions {
	Node node = Node::fifo;
	std::optional<int> refused_fcntl; // a command the kernel refuses with EPERM
	std::vector<std::string> args;    // after the program's name
	Stdout output = Stdout::terminal;
};

RunOptions monitor(const MonitorOptions &options)
{
	RunOptions run{MOTION_MONITOR, "motion_monitor", options.args,
		       PrivateDev{"sr501", options.node}, {}, options.output};
	if (options.refused_fcntl) {
		const auto command = static_cast<std::uint32_t>(*options.refused_fcntl);
		run.refused = RefusedCall{SYS_fcntl, 1, command, EPERM};
	}
	return run;
}

unsigned long long hex_field(const std::string &status, const std::string &name)
{
	auto at = status.find("\n" + name + ":");
	if (at == std::string::npos)
		throw std::runtime_error("no " + name + " in /proc status");
	return std::strtoull(status.c_str() + at + name.size() + 2, nullptr, 16);
}

std::string slurp(const std::string &path)
{
	std::ifstream in(path);
	return std::string(std::istreambuf_iterator<char>(in), {});
}

class MonitorRun : public ProgramRun {
public:
	explicit MonitorRun(const MonitorOptions &options) : ProgramRun(monitor(options)) {}

	~MonitorRun()
	{
		if (writer_ >= 0)
			close(writer_);
	}

	// Waits until the program sleeps in its loop, which it enters only
	// once notification is on, with no SIGIO pending.
	void wait_idle() const
	{
		const unsigned long long sigio = 1ull << (SIGIO - 1);
		const auto deadline = std::chrono::steady_clock::now() + patience;
		while (!idle(sigio)) {
			if (std::chrono::steady_clock::now() > deadline)
				throw std::runtime_error("timed out waiting until the program "
							 "sleeps with no SIGIO pending");
			std::this_thread::sleep_for(std::chrono::milliseconds(5));
		}
	}

	// Writes one byte into the FIFO from outside the namespace. The writer
	// stays open: closing it would raise one more SIGIO, which the node
	// never sends, and the read it brings would wait for a byte.
	void feed(unsigned char byte)
	{
		if (writer_ < 0)
			writer_ = open_node(O_WRONLY);
		if (write(writer_, &byte, 1) != 1)
			throw std::runtime_error("write to the FIFO failed");
	}

private:
	int writer_ = -1;

	bool idle(unsigned long long sigio) const
	{
		std::string status = slurp(proc_path("status"));
		if (status.find("\nState:\tZ") != std::string::npos)
			throw std::runtime_error("the program ended early");
		if ((hex_field(status, "SigPnd") | hex_field(status, "ShdPnd")) & sigio)
			return false;
		long call = std::strtol(slurp(proc_path("syscall")).c_str(), nullptr, 10);
		return call == SYS_clock_nanosleep || call == SYS_nanosleep;
	}
};


TEST(Monitor, PrintsEachLevelAsItArrives)
{
	const struct {
		unsigned char level;
		const char *line;
	} cases[] = {
		{1, "val is 1, have people"},
		{0, "val is 0, no people"},
		{2, "val is 2, no people"},
		{255, "val is 255, no people"},
		{1, "val is 1, have people"},
	};
	MonitorRun run({Node::fifo, {}, {}});
	run.wait_idle();
	for (const auto &c : cases) {
		run.feed(c.level);
		EXPECT_EQ(run.next_line(), c.line) << "level " << int(c.level);
	}
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(), "");
}

// Into a file or a pipe, where the C library buffers fully, a line must
// still be out when it is printed: SIGTERM ends the program by its default
// action, which writes out nothing.
TEST(Monitor, LeavesEveryLineInItsPipeWhenTerminated)
{
	MonitorRun run({Node::fifo, {}, {}, Stdout::pipe});
	run.wait_idle();
	run.feed(1);
	EXPECT_EQ(run.next_line(), "val is 1, have people");
	run.send(SIGTERM);
	EXPECT_EQ(run.wait_exit(), -1);
	EXPECT_EQ(run.rest_of_output(), "");
}

TEST(Monitor, WithoutMotionSleepsSilentlyUntilSigint)
{
	MonitorRun run({Node::fifo, {}, {}});
	run.wait_idle();
	// Longer than one sleep of the loop: the program must sleep again.
	std::this_thread::sleep_for(std::chrono::milliseconds(1500));
	run.wait_idle();
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(), "");
}

class MonitorArguments : public testing::TestWithParam<IgnoredArguments> {};

TEST_P(MonitorArguments, AreIgnored)
{
	MonitorRun run({Node::fifo, {}, GetParam().args});
	run.wait_idle();
	run.feed(1);
	EXPECT_EQ(run.next_line(), "val is 1, have people");
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Monitor, MonitorArguments,
			 testing::ValuesIn(ignored_arguments("/dev/sr501")),
			 ignored_arguments_name);

TEST(Monitor, MissingNodeSaysSoAndExitsWithOne)
{
	MonitorRun run({Node::none, {}, {}});
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_EQ(run.rest_of_output(), "/dev/sr501 open failed\n");
	EXPECT_EQ(run.rest_of_errors(), "");
}

TEST(Monitor, FailedReadPrintsNothing)
{
	MonitorRun run({Node::unreadable, {}, {}});
	run.wait_idle();
	run.send(SIGIO);
	run.wait_idle();
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
}

class RefusedNotification : public testing::TestWithParam<int> {};

TEST_P(RefusedNotification, GivesTheReasonAndExitsWithOne)
{
	MonitorRun run({Node::fifo, GetParam(), {}});
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(std::strerror(EPERM)));
}

INSTANTIATE_TEST_SUITE_P(Monitor, RefusedNotification,
			 testing::Values(F_SETOWN, F_GETFL, F_SETFL),
			 [](const testing::TestParamInfo<int> &info) {
				 switch (info.param) {
				 case F_SETOWN:
					 return "F_SETOWN";
				 case F_GETFL:
					 return "F_GETFL";
				 default:
					 return "F_SETFL";
				 }
			 });

} // namespace
