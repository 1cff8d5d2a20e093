// The real motion_monitor binary against a stand-in for /dev/sr501 that
// answers as motion_drv does: a read returns the sensor's level at once, and
// SIGIO comes only when the test moves the sensor, to the owner the program
// set for the file.
#include "ignored_arguments.h"
#include "program_run.h"
#include "wait.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using testing::HasSubstr;

// The PIR sensor behind the node.
struct Sensor {
	std::atomic<unsigned char> level{0};
	std::atomic<int> error{0}; // nonzero: reading the line fails so

	static NodeModel model(const std::shared_ptr<Sensor> &sensor)
	{
		return {[sensor](std::size_t count) -> NodeReply {
				if (count == 0)
					return {"", 0};
				if (sensor->error)
					return {"", -sensor->error};
				return {std::string(1, static_cast<char>(sensor->level.load())), 1};
			},
			{}};
	}
};

struct MonitorOptions {
	Node node = Node::served;
	std::optional<int> refused_fcntl; // a command the kernel refuses with EPERM
	std::vector<std::string> args;    // after the program's name
	Stdout output = Stdout::terminal;
};

RunOptions monitor(const MonitorOptions &options, const std::shared_ptr<Sensor> &sensor)
{
	RunOptions run{MOTION_MONITOR, "motion_monitor", options.args,
		       PrivateDev{"sr501", options.node, Sensor::model(sensor)}, {},
		       options.output};
	if (options.refused_fcntl) {
		const auto command = static_cast<std::uint32_t>(*options.refused_fcntl);
		run.refused = RefusedCall{SYS_fcntl, 1, command, EPERM};
	}
	return run;
}

// The value of a "Name:\tvalue" line of /proc/PID/status.
unsigned long long status_field(const std::string &status, const std::string &name, int base)
{
	auto at = status.find("\n" + name + ":");
	if (at == std::string::npos)
		throw std::runtime_error("no " + name + " in /proc status");
	return std::strtoull(status.c_str() + at + name.size() + 2, nullptr, base);
}

class MonitorRun : public ProgramRun {
public:
	explicit MonitorRun(const MonitorOptions &options,
			    std::shared_ptr<Sensor> sensor = std::make_shared<Sensor>())
		: ProgramRun(monitor(options, sensor)), sensor_(std::move(sensor))
	{
	}

	Sensor &sensor() { return *sensor_; }

	// Waits until the program sleeps in its loop, which it enters only
	// once notification is on, with no SIGIO pending.
	void wait_idle() const
	{
		if (!wait_until([this] { return idle(); }))
			throw std::runtime_error("timed out waiting until the program "
						 "sleeps with no SIGIO pending");
	}

	// Waits until the program has woken from its sleep and sleeps again.
	void wait_next_sleep() const
	{
		wait_idle();
		const auto slept = switches();
		if (!wait_until([&] { return switches() > slept && idle(); }))
			throw std::runtime_error("timed out waiting for the program's next sleep");
	}

	// The sensor's line changes: the node notifies those who asked.
	void move(unsigned char level)
	{
		sensor_->level = level;
		if (notify(SIGIO) != 1)
			throw std::runtime_error("the program's file of the node did not ask "
						 "for SIGIO");
	}

private:
	std::shared_ptr<Sensor> sensor_;

	bool idle() const
	{
		const std::string status = proc_text("status");
		if (status.find("\nState:\tZ") != std::string::npos)
			throw std::runtime_error("the program ended early");
		const unsigned long long sigio = 1ull << (SIGIO - 1);
		if ((status_field(status, "SigPnd", 16) | status_field(status, "ShdPnd", 16)) &
		    sigio)
			return false;
		long call = std::strtol(proc_text("syscall").c_str(), nullptr, 10);
		return call == SYS_clock_nanosleep || call == SYS_nanosleep;
	}

	// Each sleep puts the program off the processor once.
	unsigned long long switches() const
	{
		return status_field(proc_text("status"), "voluntary_ctxt_switches", 10);
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
	MonitorRun run({});
	run.wait_idle();
	for (const auto &c : cases) {
		run.move(c.level);
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
	MonitorRun run({Node::served, {}, {}, Stdout::pipe});
	run.wait_idle();
	run.move(1);
	EXPECT_EQ(run.next_line(), "val is 1, have people");
	run.send(SIGTERM);
	EXPECT_EQ(run.wait_exit(), -1);
	EXPECT_EQ(run.rest_of_output(), "");
}

TEST(Monitor, WithoutMotionSleepsSilentlyUntilSigint)
{
	MonitorRun run({});
	run.wait_next_sleep();
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_EQ(run.rest_of_errors(), "");
}

class MonitorArguments : public testing::TestWithParam<IgnoredArguments> {};

TEST_P(MonitorArguments, AreIgnored)
{
	MonitorRun run({Node::served, {}, GetParam().args});
	run.wait_idle();
	run.move(1);
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
	MonitorRun run({});
	run.sensor().error = EIO;
	run.wait_idle();
	run.move(1);
	run.wait_idle();
	run.send(SIGINT);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "");
}

class RefusedNotification : public testing::TestWithParam<int> {};

TEST_P(RefusedNotification, GivesTheReasonAndExitsWithOne)
{
	MonitorRun run({Node::served, GetParam(), {}});
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
