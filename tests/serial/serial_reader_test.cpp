// serial_reader as a black box, reading a pseudo-terminal as its serial line.
#include "program_run.h"
#include "pty_pair.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <signal.h>
#include <string.h>

#include <optional>
#include <string>
#include <vector>

namespace {

const std::string program = SERIAL_READER;

struct Outcome {
	int status; // exit status, or -1 when it did not exit by itself
	std::string out;
	std::string err;
};

// A started serial_reader, called by its path, its output redirected.
class Reader : public ProgramRun {
public:
	explicit Reader(const std::vector<std::string> &args)
		: ProgramRun({program, "", args, {}, {}, Stdout::pipe})
	{
	}

	// Waits a few seconds at most for the program to end by itself; what
	// it wrote so far when it did not.
	Outcome finish()
	{
		const std::optional<int> status = wait_exit();
		if (!status)
			return {-1, output(0, std::chrono::milliseconds(0)),
				errors(0, std::chrono::milliseconds(0))};
		return {*status, rest_of_output(), rest_of_errors()};
	}
};

bool is_raw(const termios &t)
{
	return (t.c_lflag & ICANON) == 0 && t.c_cflag == 0x8BD;
}

TEST(SerialReader, PrintsEveryByteUntilTheLineHangsUp)
{
	PtyPair pty;
	Reader reader({pty.slave_path()});
	ASSERT_TRUE(wait_until([&] { return is_raw(pty.slave_settings()); }));
	const long before = reader.bytes_read();

	const std::string bytes("\x41\x0A\x00\xFF", 4);
	pty.send(bytes);
	ASSERT_TRUE(wait_until([&] { return reader.bytes_read() >= before + 4; }));
	pty.hang_up();

	const char expected[] = "Enter a char: get: 41 A\n"
				"get: 0a \n\n"
				"get: 00 \0\n"
				"get: ff \xff\n"
				"can not get data\n";
	const Outcome o = reader.finish();
	ASSERT_EQ(o.status, 1);
	EXPECT_EQ(o.out, std::string(expected, sizeof(expected) - 1));
	EXPECT_EQ(o.err, "");
}

// Into a pipe, where the C library buffers fully, the prompt and each line
// must be out when printed: SIGTERM, its usual end, writes out nothing.
TEST(SerialReader, LeavesThePromptAndEachLineInItsPipeWhenTerminated)
{
	PtyPair pty;
	Reader reader({pty.slave_path()});
	EXPECT_EQ(reader.output(14), "Enter a char: ");
	pty.send("Z");
	EXPECT_EQ(reader.output(10), "get: 5a Z\n");
	reader.send(SIGTERM);
	EXPECT_EQ(reader.wait_exit(), -1);
	EXPECT_EQ(reader.rest_of_output(), "");
}

class SerialReaderUsage : public testing::TestWithParam<int> {};

TEST_P(SerialReaderUsage, RefusesAnyOtherNumberOfArguments)
{
	PtyPair pty;
	std::vector<std::string> args(GetParam(), pty.slave_path());
	Reader reader(args);

	const Outcome o = reader.finish();
	EXPECT_EQ(o.status, 255);
	EXPECT_EQ(o.out, "Usage: \n" + program + " </dev/ttySAC1 or other>\n");
	EXPECT_EQ(o.err, "");
	EXPECT_FALSE(is_raw(pty.slave_settings())) << "the device was touched";
}

INSTANTIATE_TEST_SUITE_P(Arguments, SerialReaderUsage, testing::Values(0, 2, 3),
	[](const testing::TestParamInfo<int> &info) { return std::to_string(info.param) + "_arguments"; });

struct BadPath {
	const char *name;
	std::string path;
	std::string out;
	std::string err;
};

// Far beyond PATH_MAX, and within what read_head keeps of the output.
const std::string huge_path(60000, 'x');

class SerialReaderBadPath : public testing::TestWithParam<BadPath> {};

TEST_P(SerialReaderBadPath, ReportsItAndEnds)
{
	const BadPath &c = GetParam();
	Reader reader({c.path});

	const Outcome o = reader.finish();
	EXPECT_EQ(o.status, 255);
	EXPECT_EQ(o.out, c.out);
	EXPECT_EQ(o.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Paths, SerialReaderBadPath, testing::Values(
	BadPath{"missing", "/nonexistent/ttySAC9", "open /nonexistent/ttySAC9 err!\n", ""},
	BadPath{"empty", "", "open  err!\n", ""},
	BadPath{"huge", huge_path, "open " + huge_path + " err!\n", ""},
	BadPath{"not_a_terminal", "/dev/null", "set port err!\n",
		std::string("SetupSerial 1: ") + strerror(ENOTTY) + "\n"}),
	[](const testing::TestParamInfo<BadPath> &info) { return std::string(info.param.name); });

} // namespace
