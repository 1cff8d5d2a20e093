// light_poll seen from outside: it runs in a mount namespace of its own with
// a tmpfs on /dev, where a FIFO stands in for /dev/ap3216, and writes to a
// pseudo-terminal as a person would see it.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

#if defined(__x86_64__)
constexpr std::uint32_t host_audit_arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t host_audit_arch = AUDIT_ARCH_AARCH64;
#else
#error "no seccomp architecture constant for this host"
#endif

constexpr auto patience = std::chrono::seconds(10);


// Makes every read(2) of exactly 6 bytes fail with @error.
void fail_record_reads(int error)
{
	const auto errno_ret = SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(error);
	sock_filter filter[] = {
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, host_audit_arch, 0, 5),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_read, 0, 3),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 6, 0, 1),
		BPF_STMT(BPF_RET | BPF_K, errno_ret),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	};
	sock_fprog prog = {static_cast<unsigned short>(std::size(filter)), filter};
	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) ||
	    syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &prog))
		_exit(125);
}

// Runs in the child: private /dev, then light_poll. Never returns.
[[noreturn]] void start_poller(bool with_node, int read_errno,
				const std::vector<std::string> &args, int out, int err,
				int ready)
{
	if (unshare(CLONE_NEWNS) ||
	    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) ||
	    mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755"))
		_exit(126);
	if (with_node && mkfifo("/dev/ap3216", 0600))
		_exit(126);
	if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
		_exit(126);
	if (read_errno)
		fail_record_reads(read_errno);
	if (write(ready, "r", 1) != 1)
		_exit(126);
	std::vector<char *> argv{const_cast<char *>("light_poll")};
	for (const std::string &arg : args)
		argv.push_back(const_cast<char *>(arg.c_str()));
	argv.push_back(nullptr);
	execv(LIGHT_POLL_PATH, argv.data());
	_exit(127);
}

class Poller {
public:
	// @read_errno nonzero: every read of a record fails with it. @args
	// follow the program's name.
	explicit Poller(bool with_node, int read_errno = 0,
			const std::vector<std::string> &args = {})
	{
		open_terminal();
		int err_pipe[2], ready_pipe[2];
		if (pipe2(err_pipe, O_CLOEXEC) || pipe2(ready_pipe, O_CLOEXEC))
			throw std::runtime_error("pipe");
		pid_ = fork();
		if (pid_ == 0)
			start_poller(with_node, read_errno, args, slave_, err_pipe[1],
				     ready_pipe[1]);
		close(slave_);
		close(err_pipe[1]);
		close(ready_pipe[1]);
		err_ = err_pipe[0];
		char ready;
		const bool started = read(ready_pipe[0], &ready, 1) == 1;
		close(ready_pipe[0]);
		if (!started)
			throw std::runtime_error("poller setup failed");
		if (with_node)
			open_node();
	}

	~Poller()
	{
		if (pid_ > 0 && !exited_) {
			kill(pid_, SIGKILL);
			waitpid(pid_, nullptr, 0);
		}
		close(master_);
		close(err_);
		if (node_ >= 0)
			close(node_);
	}

	void feed(const std::vector<unsigned char> &bytes)
	{
		ASSERT_EQ(write(node_, bytes.data(), bytes.size()),
			  static_cast<ssize_t>(bytes.size()));
	}

	// Output on the terminal (or standard error), read until it holds
	// @count bytes, light_poll has closed it or @wait has passed.
	std::string terminal(std::size_t count,
			     std::chrono::milliseconds wait = patience)
	{
		return collect(master_, count, wait);
	}
	std::string errors(std::size_t count,
			   std::chrono::milliseconds wait = patience)
	{
		return collect(err_, count, wait);
	}

	// Exit status, or -1 if light_poll is still running after the wait.
	int exit_status(std::chrono::milliseconds wait)
	{
		const auto deadline = std::chrono::steady_clock::now() + wait;
		int status;
		do {
			if (waitpid(pid_, &status, WNOHANG) == pid_) {
				exited_ = true;
				return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
			}
			usleep(10000);
		} while (std::chrono::steady_clock::now() < deadline);
		return -1;
	}

private:
	void open_terminal()
	{
		master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
		if (master_ < 0 || grantpt(master_) || unlockpt(master_))
			throw std::runtime_error("pty");
		slave_ = open(ptsname(master_), O_RDWR | O_NOCTTY);
		termios raw;
		if (slave_ < 0 || tcgetattr(slave_, &raw))
			throw std::runtime_error("pty slave");
		cfmakeraw(&raw); // no "\r\n" for "\n": compare the program's bytes
		tcsetattr(slave_, TCSANOW, &raw);
	}

	// The FIFO lives in light_poll's namespace; reach it through its root.
	// Opened for reading and writing so the open never waits for a reader.
	void open_node()
	{
		const std::string path =
			"/proc/" + std::to_string(pid_) + "/root/dev/ap3216";
		node_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
		if (node_ < 0)
			throw std::runtime_error("open " + path);
	}

	static std::string collect(int fd, std::size_t count,
				   std::chrono::milliseconds wait)
	{
		const auto deadline = std::chrono::steady_clock::now() + wait;
		std::string text;
		do {
			pollfd p = {fd, POLLIN, 0};
			if (poll(&p, 1, 100) <= 0)
				continue;
			char buf[256];
			const ssize_t n = read(fd, buf, sizeof(buf));
			if (n <= 0)
				break; // EIO on the terminal once light_poll is gone
			text.append(buf, n);
		} while (text.size() < count &&
			 std::chrono::steady_clock::now() < deadline);
		return text;
	}

	pid_t pid_ = -1;
	bool exited_ = false;
	int master_ = -1, slave_ = -1, err_ = -1, node_ = -1;
};

TEST(LightPoll, WithoutNodeReportsOpenFailureAndExits255)
{
	Poller poller(false);
	const std::string want = "open /dev/ap3216 failed\n";
	EXPECT_EQ(poller.terminal(want.size() + 1), want);
	EXPECT_EQ(poller.exit_status(patience), 255);
	EXPECT_EQ(poller.errors(1), "");
}

TEST(LightPoll, PrintsEachRecordAsUnsignedDecimalWords)
{
	Poller poller(true);
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	const std::string first = "IR = 10, light = 300, dis = 100\n\n";
	EXPECT_EQ(poller.terminal(first.size()), first);

	// High bytes at or above 0x80 never make a value negative.
	poller.feed({0xff, 0xff, 0x80, 0x00, 0x00, 0x01});
	const std::string second = "IR = 65535, light = 32768, dis = 1\n\n";
	EXPECT_EQ(poller.terminal(second.size()), second);
	EXPECT_EQ(poller.exit_status(std::chrono::milliseconds(0)), -1);
}

struct Arguments {
	const char *name;
	std::vector<std::string> args;
};

class LightPollArguments : public testing::TestWithParam<Arguments> {};

TEST_P(LightPollArguments, AreIgnored)
{
	Poller poller(true, 0, GetParam().args);
	poller.feed({0x00, 0x0a, 0x01, 0x2c, 0x00, 0x64});
	const std::string reading = "IR = 10, light = 300, dis = 100\n\n";
	EXPECT_EQ(poller.terminal(reading.size()), reading);
	EXPECT_EQ(poller.errors(1, std::chrono::milliseconds(0)), "");
}

INSTANTIATE_TEST_SUITE_P(LightPoll, LightPollArguments,
			 testing::Values(Arguments{"extra", {"/dev/ap3216", "-h"}},
					 Arguments{"empty", {""}},
					 Arguments{"huge", {std::string(100000, 'x')}}),
			 [](const testing::TestParamInfo<Arguments> &info) {
				 return std::string(info.param.name);
			 });

TEST(LightPoll, FailedReadIsReportedAndPollingGoesOn)
{
	Poller poller(true, EIO);
	const std::string line = "read /dev/ap3216: Input/output error\n";
	EXPECT_EQ(poller.errors(2 * line.size()), line + line);
	EXPECT_EQ(poller.exit_status(std::chrono::milliseconds(0)), -1);
	// Anything printed would have come before the second failure.
	EXPECT_EQ(poller.terminal(1, std::chrono::milliseconds(0)), "");
}

TEST(LightPoll, SensorGoneEndsWithStatus1)
{
	Poller poller(true, ENODEV);
	EXPECT_EQ(poller.exit_status(patience), 1);
	EXPECT_EQ(poller.errors(1000), "read /dev/ap3216: No such device\n");
	EXPECT_EQ(poller.terminal(1), "");
}

} // namespace
