#include "serial_line.h"
#include "libc_spy.h"
#include "output_capture.h"
#include "pty_pair.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace {

class SerialLine : public testing::Test {
protected:
	void SetUp() override { libc_spy::reset(); }
	void TearDown() override { libc_spy::reset(); }
};

// A line left cooked and full of flags by an earlier user, so that a test
// can see set_opt carries none of it over.
void dirty(const PtyPair &pty)
{
	termios t = pty.slave_settings();
	t.c_iflag |= IXON | IXOFF | ICRNL | INLCR | IGNCR | BRKINT | IMAXBEL;
	t.c_oflag |= OPOST | ONLCR;
	t.c_cflag |= HUPCL | CRTSCTS | CSTOPB | PARODD;
	t.c_lflag |= ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
	t.c_cc[VTIME] = 7;
	t.c_cc[VMIN] = 3;
	cfsetspeed(&t, B38400);
	ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &t), 0);
}

void expect_only_vmin(const termios &t)
{
	for (size_t i = 0; i < NCCS; i++)
		EXPECT_EQ(t.c_cc[i], i == VMIN ? 1 : 0) << "control character " << i;
}

TEST_F(SerialLine, Applies9600Raw8N1AndNothingElse)
{
	PtyPair pty;
	dirty(pty);

	ASSERT_EQ(set_opt(pty.slave(), 9600, 8, 'N', 1), 0);

	const termios t = pty.slave_settings();
	EXPECT_EQ(t.c_cflag, 0x8BDu);
	EXPECT_EQ(t.c_iflag, 0u);
	EXPECT_EQ(t.c_oflag, 0u);
	EXPECT_EQ(t.c_lflag, 0u);
	EXPECT_EQ(t.c_line, 0);
	expect_only_vmin(t);
	EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
	EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
}

struct LineCase {
	const char *name;
	int speed;
	int bits;
	char parity;
	int stop;
	speed_t expected_speed;
	tcflag_t expected_cflag; // besides CLOCAL, CREAD and the speed
	tcflag_t expected_iflag;
};

class SetOptMapping : public SerialLine, public testing::WithParamInterface<LineCase> {};

TEST_P(SetOptMapping, BuildsTheRecordFromTheArguments)
{
	const LineCase &c = GetParam();
	PtyPair pty;
	dirty(pty);

	ASSERT_EQ(set_opt(pty.slave(), c.speed, c.bits, c.parity, c.stop), 0);

	const termios *applied = libc_spy::last_applied();
	ASSERT_NE(applied, nullptr);
	EXPECT_EQ(applied->c_cflag, CLOCAL | CREAD | c.expected_speed | c.expected_cflag);
	EXPECT_EQ(applied->c_iflag, c.expected_iflag);
	EXPECT_EQ(applied->c_oflag, 0u);
	EXPECT_EQ(applied->c_lflag, 0u);
	EXPECT_EQ(applied->c_line, 0);
	expect_only_vmin(*applied);
	EXPECT_EQ(cfgetispeed(applied), c.expected_speed);
	EXPECT_EQ(cfgetospeed(applied), c.expected_speed);

	const termios line = pty.slave_settings();
	EXPECT_EQ(line.c_iflag, c.expected_iflag);
	EXPECT_EQ(line.c_cflag & CSTOPB, c.expected_cflag & CSTOPB);
	EXPECT_EQ(cfgetispeed(&line), c.expected_speed);
	EXPECT_EQ(cfgetospeed(&line), c.expected_speed);
}

std::string case_name(const testing::TestParamInfo<LineCase> &info)
{
	return info.param.name;
}

constexpr tcflag_t strip = INPCK | ISTRIP;

INSTANTIATE_TEST_SUITE_P(Speed, SetOptMapping, testing::Values(
	LineCase{"b2400", 2400, 8, 'N', 1, B2400, CS8, 0},
	LineCase{"b4800", 4800, 8, 'N', 1, B4800, CS8, 0},
	LineCase{"b9600", 9600, 8, 'N', 1, B9600, CS8, 0},
	LineCase{"b115200", 115200, 8, 'N', 1, B115200, CS8, 0},
	LineCase{"b19200_is_9600", 19200, 8, 'N', 1, B9600, CS8, 0},
	LineCase{"b57600_is_9600", 57600, 8, 'N', 1, B9600, CS8, 0},
	LineCase{"b0_is_9600", 0, 8, 'N', 1, B9600, CS8, 0}), case_name);

INSTANTIATE_TEST_SUITE_P(DataBits, SetOptMapping, testing::Values(
	LineCase{"cs7", 9600, 7, 'N', 1, B9600, CS7, 0},
	LineCase{"cs5_from_5", 9600, 5, 'N', 1, B9600, CS5, 0},
	LineCase{"cs5_from_6", 9600, 6, 'N', 1, B9600, CS5, 0},
	LineCase{"cs5_from_9", 9600, 9, 'N', 1, B9600, CS5, 0}), case_name);

INSTANTIATE_TEST_SUITE_P(Parity, SetOptMapping, testing::Values(
	LineCase{"odd", 9600, 8, 'O', 1, B9600, CS8 | PARENB | PARODD, strip},
	LineCase{"even", 9600, 8, 'E', 1, B9600, CS8 | PARENB, strip},
	LineCase{"even_7bit", 9600, 7, 'E', 1, B9600, CS7 | PARENB, strip},
	LineCase{"lower_n", 9600, 8, 'n', 1, B9600, CS8, 0},
	LineCase{"lower_o_is_none", 9600, 8, 'o', 1, B9600, CS8, 0},
	LineCase{"lower_e_is_none", 9600, 8, 'e', 1, B9600, CS8, 0},
	LineCase{"other_is_none", 9600, 8, 'X', 1, B9600, CS8, 0}), case_name);

INSTANTIATE_TEST_SUITE_P(StopBits, SetOptMapping, testing::Values(
	LineCase{"two", 9600, 8, 'N', 2, B9600, CS8 | CSTOPB, 0},
	LineCase{"zero_is_one", 9600, 8, 'N', 0, B9600, CS8, 0},
	LineCase{"three_is_one", 9600, 8, 'N', 3, B9600, CS8, 0}), case_name);

struct StripCase {
	const char *name;
	int bits;
	char parity;
	unsigned char received;
};

class SetOptStrip : public SerialLine, public testing::WithParamInterface<StripCase> {};

TEST_P(SetOptStrip, ParityClearsTheTopBitOfEveryByte)
{
	const StripCase &c = GetParam();
	PtyPair pty;
	ASSERT_EQ(set_opt(pty.slave(), 9600, c.bits, c.parity, 1), 0);

	pty.send("\xC1");
	unsigned char byte = 0;
	ASSERT_EQ(read(pty.slave(), &byte, 1), 1);
	EXPECT_EQ(byte, c.received);
}

INSTANTIATE_TEST_SUITE_P(Parity, SetOptStrip, testing::Values(
	StripCase{"even", 8, 'E', 0x41},
	StripCase{"odd", 8, 'O', 0x41},
	StripCase{"even_7bit", 7, 'E', 0x41},
	StripCase{"none_keeps_it", 8, 'N', 0xC1},
	StripCase{"lower_e_keeps_it", 8, 'e', 0xC1}),
	[](const testing::TestParamInfo<StripCase> &info) { return std::string(info.param.name); });

TEST_F(SerialLine, DiscardsInputThatArrivedBeforeIt)
{
	PtyPair pty;
	ASSERT_EQ(set_opt(pty.slave(), 9600, 8, 'N', 1), 0);
	pty.send("stale");
	ASSERT_TRUE(pty.await_unread(5));

	ASSERT_EQ(set_opt(pty.slave(), 9600, 8, 'N', 1), 0);
	EXPECT_EQ(pty.unread_input(), 0);

	pty.send("x");
	char byte = 0;
	ASSERT_EQ(read(pty.slave(), &byte, 1), 1);
	EXPECT_EQ(byte, 'x');
}

TEST_F(SerialLine, ReportsANonTerminalAndLeavesItAlone)
{
	const int fd = open_port("/dev/null");
	ASSERT_GE(fd, 0);
	int result = 0;

	const std::string err = captured(2, [&] { result = set_opt(fd, 9600, 8, 'N', 1); });
	EXPECT_EQ(result, -1);
	EXPECT_EQ(err, std::string("SetupSerial 1: ") + strerror(ENOTTY) + "\n");
	EXPECT_EQ(libc_spy::last_applied(), nullptr);
	close(fd);
}

TEST_F(SerialLine, ReportsAFailedApplyAfterFlushing)
{
	PtyPair pty; // starts cooked: canonical, echoing
	pty.send("stale\n");
	ASSERT_TRUE(pty.await_unread(6));
	libc_spy::fail_tcsetattr(EIO);
	int result = 0;

	const std::string err = captured(2, [&] { result = set_opt(pty.slave(), 9600, 8, 'N', 1); });
	EXPECT_EQ(result, -1);
	EXPECT_EQ(err, std::string("com set error: ") + strerror(EIO) + "\n");
	EXPECT_EQ(pty.unread_input(), 0);
	EXPECT_NE(pty.slave_settings().c_lflag & ICANON, 0u);
}

TEST_F(SerialLine, OpensReadWriteAndBlocking)
{
	PtyPair pty;
	const int fd = open_port(pty.slave_path().c_str());
	ASSERT_GE(fd, 0);

	const int flags = fcntl(fd, F_GETFL);
	EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
	EXPECT_EQ(flags & O_NONBLOCK, 0);
	close(fd);
}

TEST_F(SerialLine, MissingPathFailsSilently)
{
	int fd = 0;
	std::string err;
	const std::string out = captured(1, [&] {
		err = captured(2, [&] { fd = open_port("/nonexistent/ttyX"); });
	});
	EXPECT_EQ(fd, -1);
	EXPECT_EQ(out, "");
	EXPECT_EQ(err, "");
}

TEST_F(SerialLine, ClosesThePortWhenItCannotMakeItBlocking)
{
	PtyPair pty;
	libc_spy::fail_setfl();
	int fd = 0;

	const std::string out = captured(1, [&] { fd = open_port(pty.slave_path().c_str()); });
	EXPECT_EQ(fd, -1);
	EXPECT_EQ(out, "fcntl failed!\n");
	ASSERT_GE(libc_spy::failed_setfl_fd(), 0);
	EXPECT_EQ(fcntl(libc_spy::failed_setfl_fd(), F_GETFD), -1);
	EXPECT_EQ(errno, EBADF);
}

} // namespace
