// The harness itself, on the shell: what the programs' tests rely on it for.
#include "program_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace {

using std::chrono::milliseconds;
using testing::HasSubstr;

RunOptions shell(const std::string &script)
{
	return {"/bin/sh", "sh", {"-c", script}, {}, {}};
}

TEST(ProgramRun, ASetUpThatFailsThrowsNamingTheStep)
{
	try {
		ProgramRun run({"/nonexistent/program", "", {}, {}, {}});
		FAIL() << "the run started";
	} catch (const std::runtime_error &e) {
		EXPECT_THAT(e.what(), HasSubstr("exec /nonexistent/program"));
	}
}

class ProgramRunOutput : public testing::TestWithParam<Stdout> {};

// Far more than a pipe or a terminal holds: the wait must keep emptying them.
TEST_P(ProgramRunOutput, AProgramThatWritesMuchEndsAndNothingIsLost)
{
	RunOptions options = shell("yes x | head -c 200000; yes y | head -c 200000 >&2");
	options.output = GetParam();
	ProgramRun run(options);
	EXPECT_EQ(run.wait_exit(), 0);
	const std::string out = run.rest_of_output();
	const std::string err = run.rest_of_errors();
	EXPECT_EQ(out.size(), 200000u);
	EXPECT_EQ(out.substr(0, 4), "x\nx\n");
	EXPECT_EQ(err.size(), 200000u);
	EXPECT_EQ(err.substr(0, 4), "y\ny\n");
}

INSTANTIATE_TEST_SUITE_P(ProgramRun, ProgramRunOutput,
			 testing::Values(Stdout::terminal, Stdout::pipe),
			 [](const testing::TestParamInfo<Stdout> &info) {
				 return info.param == Stdout::pipe ? "pipe" : "terminal";
			 });

TEST(ProgramRun, LinesComeOneByOneAndTheRestOnlyOnceEnded)
{
	ProgramRun run(shell("printf 'one\\ntwo\\nrest'; exec sleep 30"));
	EXPECT_EQ(run.next_line(), "one");
	EXPECT_EQ(run.next_line(), "two");
	EXPECT_THROW(run.next_line(milliseconds(200)), std::runtime_error);
	EXPECT_THROW(run.rest_of_output(), std::logic_error);

	EXPECT_EQ(run.wait_exit(milliseconds(0)), std::nullopt);
	run.send(SIGTERM);
	EXPECT_EQ(run.wait_exit(), -1);
	EXPECT_EQ(run.rest_of_output(), "rest");
}

TEST(ProgramRun, BytesComeUntilTheCountOrTheEnd)
{
	ProgramRun run(shell("printf 12345; printf abc >&2"));
	EXPECT_EQ(run.output(5), "12345");
	EXPECT_EQ(run.output(1), "");
	EXPECT_EQ(run.errors(100), "abc");
	EXPECT_EQ(run.wait_exit(), 0);
}

struct DevCase {
	const char *name;
	Node node;
	const char *script;
	int status;
	std::string out;
	std::string err_part;
};

class ProgramRunDev : public testing::TestWithParam<DevCase> {};

TEST_P(ProgramRunDev, HoldsOnlyTheStandIn)
{
	const DevCase &c = GetParam();
	RunOptions options = shell(c.script);
	options.dev = PrivateDev{"probe", c.node};
	ProgramRun run(options);
	EXPECT_EQ(run.wait_exit(), c.status);
	EXPECT_EQ(run.rest_of_output(), c.out);
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(c.err_part));
}

INSTANTIATE_TEST_SUITE_P(ProgramRun, ProgramRunDev, testing::Values(
	DevCase{"none", Node::none, "ls -A /dev", 0, "", ""},
	DevCase{"fifo", Node::fifo, "ls -A /dev; test -p /dev/probe", 0, "probe\n", ""},
	DevCase{"unreadable", Node::unreadable, "head -c 1 /dev/probe", 1, "",
		std::strerror(EIO)}),
	[](const testing::TestParamInfo<DevCase> &info) { return std::string(info.param.name); });

TEST(ProgramRun, TheNodeIsReachedFromOutside)
{
	RunOptions options = shell("head -c 3 /dev/probe");
	options.dev = PrivateDev{"probe", Node::fifo};
	ProgramRun run(options);
	const int node = run.open_node(O_WRONLY);
	EXPECT_EQ(write(node, "abc", 3), 3);
	close(node);
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "abc");
}

// kill(pid, 0) is refused; the same call with another signal is not.
TEST(ProgramRun, TheRefusedCallFailsOnlyForItsValue)
{
	RunOptions options = shell("kill -CONT $$ && echo allowed; kill -0 $$");
	options.refused = RefusedCall{SYS_kill, 1, 0, EPERM};
	ProgramRun run(options);
	EXPECT_NE(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "allowed\n");
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(std::strerror(EPERM)));
}

} // namespace
