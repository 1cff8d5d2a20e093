// The harness itself, on the shell: what the programs' tests rely on it for.
#include "output_capture.h"
#include "program_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

// What a served node was asked, and answers in turn (the last one stays).
struct Script {
	std::mutex lock;
	std::vector<NodeReply> replies;
	std::vector<std::size_t> counts;
	std::string written;
	long write_result = 0; // 0: all the bytes

	NodeModel model(const std::shared_ptr<Script> &self) const
	{
		return {[self](std::size_t count) {
				std::lock_guard<std::mutex> hold(self->lock);
				self->counts.push_back(count);
				NodeReply reply = self->replies.front();
				if (self->replies.size() > 1)
					self->replies.erase(self->replies.begin());
				return reply;
			},
			[self](const std::string &bytes) {
				std::lock_guard<std::mutex> hold(self->lock);
				self->written += bytes;
				return self->write_result ? self->write_result : long(bytes.size());
			}};
	}
};

RunOptions served(const std::string &script, const std::shared_ptr<Script> &node)
{
	RunOptions options = shell(script);
	options.dev = PrivateDev{"probe", Node::served, node->model(node)};
	return options;
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
	options.dev = PrivateDev{"probe", c.node, {}};
	ProgramRun run(options);
	EXPECT_EQ(run.wait_exit(), c.status);
	EXPECT_EQ(run.rest_of_output(), c.out);
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(c.err_part));
}

INSTANTIATE_TEST_SUITE_P(ProgramRun, ProgramRunDev, testing::Values(
	DevCase{"none", Node::none, "ls -A /dev", 0, "", ""},
	DevCase{"served", Node::served, "ls -A /dev", 0, "probe\n", ""},
	// A model without a read fails it as a driver without one does.
	DevCase{"served_without_read", Node::served, "head -c 1 /dev/probe", 1, "",
		std::strerror(EINVAL)},
	DevCase{"full", Node::full, "/bin/echo x >/dev/probe", 1, "", std::strerror(ENOSPC)}),
	[](const testing::TestParamInfo<DevCase> &info) { return std::string(info.param.name); });

// The program sees the model's result, whatever the bytes: head prints as
// many as the read returned.
TEST(ProgramRun, AReadOfTheNodeReturnsTheModelsResult)
{
	auto node = std::make_shared<Script>();
	node->replies = {{"abcdef", 2}, {"", 0}};
	ProgramRun run(served("head -c 6 /dev/probe", node));
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "ab");
	std::lock_guard<std::mutex> hold(node->lock);
	ASSERT_EQ(node->counts.size(), 2u);
	EXPECT_GE(node->counts[0], 6u);
}

TEST(ProgramRun, AFailedReadOfTheNodeFailsInTheProgram)
{
	auto node = std::make_shared<Script>();
	node->replies = {{"x", -EIO}};
	ProgramRun run(served("head -c 1 /dev/probe", node));
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_EQ(run.rest_of_output(), "");
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(std::strerror(EIO)));
}

TEST(ProgramRun, WritesOfTheNodeReachTheModel)
{
	auto node = std::make_shared<Script>();
	ProgramRun run(served("/bin/echo xyz >/dev/probe && echo written", node));
	EXPECT_EQ(run.wait_exit(), 0);
	EXPECT_EQ(run.rest_of_output(), "written\n");
	std::lock_guard<std::mutex> hold(node->lock);
	EXPECT_EQ(node->written, "xyz\n");
}

TEST(ProgramRun, AWriteTheModelRefusesFailsInTheProgram)
{
	auto node = std::make_shared<Script>();
	node->write_result = -ENOSPC;
	ProgramRun run(served("/bin/echo xyz >/dev/probe", node));
	EXPECT_EQ(run.wait_exit(), 1);
	EXPECT_THAT(run.rest_of_errors(), HasSubstr(std::strerror(ENOSPC)));
}

std::string this_program()
{
	char path[4096];
	const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
	return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
}

// The helper below asks for SIGIO on the node and waits for one.
TEST(ProgramRun, NotifySignalsTheOwnerThatAskedForIt)
{
	auto node = std::make_shared<Script>();
	RunOptions options{this_program(), "", {"--await-sigio", "/dev/probe"}, {}, {}};
	options.dev = PrivateDev{"probe", Node::served, node->model(node)};
	ProgramRun run(options);
	EXPECT_EQ(run.next_line(), "asked");
	EXPECT_EQ(run.notify(SIGIO), 1);
	EXPECT_EQ(run.next_line(), "got SIGIO");
	EXPECT_EQ(run.wait_exit(), 0);
}

TEST(ProgramRun, NotifyLeavesAFileThatDidNotAskAlone)
{
	auto node = std::make_shared<Script>();
	ProgramRun run(served("exec 3<>/dev/probe; echo open; exec sleep 30", node));
	EXPECT_EQ(run.next_line(), "open");
	EXPECT_EQ(run.notify(SIGTERM), 0);
	EXPECT_EQ(run.wait_exit(std::chrono::milliseconds(0)), std::nullopt);
}

TEST(PtyPair, KnowsWhenNoSlaveIsOpen)
{
	PtyPair pty(PtyPair::Slave::by_path);
	EXPECT_TRUE(pty.slave_closed());
	const int slave = open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
	ASSERT_GE(slave, 0);
	EXPECT_FALSE(pty.slave_closed());
	close(slave);
	EXPECT_TRUE(pty.slave_closed());
}

// What the code under test has not written out yet is not there to see.
TEST(OutputCapture, ShowsOnlyWhatWasWrittenOut)
{
	OutputCapture capture(1);
	std::printf("buffered");
	EXPECT_EQ(capture.text(), "");
	std::fflush(stdout);
	EXPECT_EQ(capture.text(), "buffered");
	capture.clear();
	std::printf("rest");
	EXPECT_EQ(capture.finish(), "rest");
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

// The helper: opens the node, asks for SIGIO on it as motion_monitor does,
// and ends once one has come.
int await_sigio(const char *node)
{
	sigset_t sigio;
	sigemptyset(&sigio);
	sigaddset(&sigio, SIGIO);
	sigprocmask(SIG_BLOCK, &sigio, nullptr);
	const int fd = open(node, O_RDWR);
	if (fd < 0 || fcntl(fd, F_SETOWN, getpid()) != 0 ||
	    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | FASYNC) != 0) {
		std::perror(node);
		return 1;
	}
	std::puts("asked");
	std::fflush(stdout);
	int signal = 0;
	if (sigwait(&sigio, &signal) != 0)
		return 1;
	std::puts("got SIGIO");
	return 0;
}

} // namespace

int main(int argc, char **argv)
{
	if (argc == 3 && std::strcmp(argv[1], "--await-sigio") == 0)
		return await_sigio(argv[2]);
	testing::InitGoogleMock(&argc, argv);
	return RUN_ALL_TESTS();
}
