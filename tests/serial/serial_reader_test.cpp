// serial_reader as a black box, reading a pseudo-terminal as its serial line.
#include "program_run.h"
#include "pty_pair.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

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

// Bytes i * 7, so that each line tells which byte it stands for.
char byte_at(size_t i)
{
	return static_cast<char>(i * 7);
}

std::string lines_of_bytes(size_t count)
{
	std::string lines = "Enter a char: ";
	for (size_t i = 0; i < count; i++) {
		char line[16];
		snprintf(line, sizeof line, "get: %02x %c\n", static_cast<unsigned char>(byte_at(i)),
			 byte_at(i));
		lines.append(line, 10);
	}
	return lines;
}

// Writes what the master takes now; returns how many bytes.
size_t feed_some(int master, size_t sent)
{
	char bytes[512];
	for (size_t i = 0; i < sizeof bytes; i++)
		bytes[i] = byte_at(sent + i);
	const ssize_t n = write(master, bytes, sizeof bytes);
	return n > 0 ? static_cast<size_t>(n) : 0;
}

// What the program left unread on the line, once nothing more comes.
size_t drain_unread(int slave)
{
	size_t unread = 0;
	pollfd line = {slave, POLLIN, 0};
	char bytes[4096];
	while (poll(&line, 1, 200) == 1) {
		const ssize_t n = read(slave, bytes, sizeof bytes);
		if (n <= 0)
			break;
		unread += static_cast<size_t>(n);
	}
	return unread;
}

// A line that never rests still lets SIGTERM in, and only where every byte
// the program has taken from the line has its line in the pipe.
TEST(SerialReader, EndsBetweenLinesWhileBytesKeepComing)
{
	PtyPair pty;
	Reader reader({pty.slave_path()});
	ASSERT_TRUE(wait_until([&] { return is_raw(pty.slave_settings()); }));
	fcntl(pty.master(), F_SETFL, O_NONBLOCK);

	size_t sent = 0;
	bool terminated = false;
	const auto deadline = std::chrono::steady_clock::now() + patience;
	while (!reader.wait_exit(std::chrono::milliseconds(0)) &&
	       std::chrono::steady_clock::now() < deadline) {
		sent += feed_some(pty.master(), sent);
		reader.take_output();
		if (!terminated && sent > 64 * 1024) {
			reader.send(SIGTERM);
			terminated = true;
		}
	}
	ASSERT_EQ(reader.wait_exit(std::chrono::milliseconds(0)), -1) << "still running";
	const size_t taken = sent - drain_unread(pty.slave());
	const std::string out = reader.rest_of_output();
	EXPECT_GT(taken, 0u);
	EXPECT_EQ(out.size(), lines_of_bytes(taken).size());
	EXPECT_TRUE(out == lines_of_bytes(taken)) << "the lines are not those of the bytes taken";
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
