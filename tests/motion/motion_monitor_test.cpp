// The real motion_monitor binary against a FIFO standing in for /dev/sr501:
// a byte written to the FIFO raises SIGIO for the program, which reads it
// as the sensor's level.
#include "monitor_run.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using testing::HasSubstr;

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
	MonitorRun run({Node::fifo, -1, {}});
	run.wait_idle();
	for (const auto &c : cases) {
		run.feed(c.level);
		EXPECT_EQ(run.next_line(), c.line) << "level " << int(c.level);
	}
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.error_output(), "");
}

TEST(Monitor, WithoutMotionSleepsSilentlyUntilSigint)
{
	MonitorRun run({Node::fifo, -1, {}});
	run.wait_idle();
	// Longer than one sleep of the loop: the program must sleep again.
	std::this_thread::sleep_for(std::chrono::milliseconds(1500));
	run.wait_idle();
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.error_output(), "");
}

struct Arguments {
	const char *name;
	std::vector<std::string> args;
};

class MonitorArguments : public testing::TestWithParam<Arguments> {};

TEST_P(MonitorArguments, AreIgnored)
{
	MonitorRun run({Node::fifo, -1, GetParam().args});
	run.wait_idle();
	run.feed(1);
	EXPECT_EQ(run.next_line(), "val is 1, have people");
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.error_output(), "");
}

INSTANTIATE_TEST_SUITE_P(Monitor, MonitorArguments,
			 testing::Values(Arguments{"extra", {"/dev/sr501", "-h"}},
					 Arguments{"empty", {""}},
					 Arguments{"huge", {std::string(100000, 'x')}}),
			 [](const testing::TestParamInfo<Arguments> &info) {
				 return std::string(info.param.name);
			 });

TEST(Monitor, MissingNodeSaysSoAndExitsWithOne)
{
	MonitorRun run({Node::none, -1, {}});
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_EQ(run.rest_of_output(), "/dev/sr501 open failed\n");
	EXPECT_EQ(run.error_output(), "");
}

TEST(Monitor, FailedReadPrintsNothing)
{
	MonitorRun run({Node::unreadable, -1, {}});
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
	EXPECT_THAT(run.error_output(), HasSubstr(std::strerror(EPERM)));
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
