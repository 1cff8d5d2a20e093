#include "monitor_run.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// Bounds a hang; a healthy run answers within milliseconds.
constexpr std::chrono::milliseconds patience{10000};
constexpr int poll_ms = 5;

void check(bool ok, const std::string &what)
{
	if (!ok)
		throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Returns the failed step, or nullptr.
const char *make_private_dev(Node node)
{
	if (unshare(CLONE_NEWNS))
		return "unshare -m";
	if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
		return "private mounts";
	if (mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755"))
		return "tmpfs on /dev";
	switch (node) {
	case Node::none:
		return nullptr;
	case Node::fifo:
		return mkfifo("/dev/sr501", 0600) ? "mkfifo" : nullptr;
	case Node::unreadable:
		// Reading the process's own memory at offset 0 fails with EIO.
		return symlink("/proc/self/mem", "/dev/sr501") ? "symlink" : nullptr;
	}
	return "unknown node";
}

// Makes the kernel answer one fcntl command with EPERM.
const char *refuse_fcntl(int command)
{
	constexpr unsigned nr = offsetof(struct seccomp_data, nr);
	constexpr unsigned cmd = offsetof(struct seccomp_data, args[1]) +
		(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0);
	struct sock_filter code[] = {
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, nr),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_fcntl, 0, 3),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, cmd),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(command), 0, 1),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	};
	struct sock_fprog program = {sizeof(code) / sizeof(code[0]), code};

	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0))
		return "no_new_privs";
	if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program))
		return "seccomp";
	return nullptr;
}

[[noreturn]] void run_child(const MonitorOptions &options, int out, int err)
{
	dup2(out, STDOUT_FILENO);
	dup2(err, STDERR_FILENO);
	const char *failed = make_private_dev(options.node);
	if (!failed && options.refused_fcntl >= 0)
		failed = refuse_fcntl(options.refused_fcntl);
	if (!failed) {
		std::vector<char *> argv{const_cast<char *>("motion_monitor")};
		for (const std::string &arg : options.args)
			argv.push_back(const_cast<char *>(arg.c_str()));
		argv.push_back(nullptr);
		execv(MOTION_MONITOR, argv.data());
		failed = "exec " MOTION_MONITOR;
	}
	dprintf(STDERR_FILENO, "test set-up: %s: %s\n", failed, std::strerror(errno));
	_exit(127);
}

int open_raw_pty(int &slave)
{
	int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
	check(master >= 0, "posix_openpt");
	check(grantpt(master) == 0 && unlockpt(master) == 0, "unlockpt");
	slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
	check(slave >= 0, "open pty slave");
	struct termios mode;
	check(tcgetattr(slave, &mode) == 0, "tcgetattr");
	cfmakeraw(&mode);
	check(tcsetattr(slave, TCSANOW, &mode) == 0, "tcsetattr");
	return master;
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

template <typename Ready>
void wait_for(Ready ready, const std::string &what)
{
	auto deadline = std::chrono::steady_clock::now() + patience;
	while (!ready()) {
		if (std::chrono::steady_clock::now() > deadline)
			throw std::runtime_error("timed out waiting until " + what);
		std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
	}
}

} // namespace

MonitorRun::MonitorRun(const MonitorOptions &options)
{
	int slave;
	pty_ = open_raw_pty(slave);
	int err[2];
	check(pipe2(err, O_CLOEXEC) == 0, "pipe");
	pid_ = fork();
	check(pid_ >= 0, "fork");
	if (pid_ == 0)
		run_child(options, slave, err[1]);
	close(slave);
	close(err[1]);
	err_ = err[0];
}

MonitorRun::~MonitorRun()
{
	if (!exited_) {
		kill(pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
	}
	close(pty_);
	close(err_);
}

std::string MonitorRun::proc(const std::string &entry) const
{
	return "/proc/" + std::to_string(pid_) + "/" + entry;
}

void MonitorRun::wait_idle() const
{
	const unsigned long long sigio = 1ull << (SIGIO - 1);
	wait_for([this, sigio] {
		std::string status = slurp(proc("status"));
		if (status.find("\nState:\tZ") != std::string::npos)
			throw std::runtime_error("the program ended early");
		if ((hex_field(status, "SigPnd") | hex_field(status, "ShdPnd")) & sigio)
			return false;
		long call = std::strtol(slurp(proc("syscall")).c_str(), nullptr, 10);
		return call == SYS_clock_nanosleep || call == SYS_nanosleep;
	}, "the program sleeps with no SIGIO pending");
}

void MonitorRun::feed(unsigned char byte) const
{
	int fifo = open(proc("root/dev/sr501").c_str(), O_WRONLY | O_CLOEXEC);
	check(fifo >= 0, "open the program's /dev/sr501");
	ssize_t written = write(fifo, &byte, 1);
	close(fifo);
	check(written == 1, "write to the FIFO");
}

void MonitorRun::send(int signal) const
{
	check(kill(pid_, signal) == 0, "kill");
}

bool MonitorRun::read_output(int timeout_ms)
{
	struct pollfd ready = {pty_, POLLIN, 0};
	if (poll(&ready, 1, timeout_ms) <= 0)
		return false;
	char chunk[256];
	ssize_t n = read(pty_, chunk, sizeof(chunk));
	if (n <= 0)
		return false; // EIO: every copy of the terminal's other side is closed
	pending_.append(chunk, static_cast<size_t>(n));
	return true;
}

std::string MonitorRun::next_line()
{
	auto deadline = std::chrono::steady_clock::now() + patience;
	std::string::size_type end;
	while ((end = pending_.find('\n')) == std::string::npos) {
		auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
			deadline - std::chrono::steady_clock::now());
		if (left.count() <= 0 || !read_output(static_cast<int>(left.count())))
			throw std::runtime_error("no line; output so far: '" + pending_ + "'");
	}
	std::string line = pending_.substr(0, end);
	pending_.erase(0, end + 1);
	return line;
}

int MonitorRun::wait_exit()
{
	int status = 0;
	wait_for([this, &status] { return waitpid(pid_, &status, WNOHANG) == pid_; },
		 "the program ends");
	exited_ = true;
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string MonitorRun::rest_of_output()
{
	if (!exited_)
		throw std::logic_error("rest_of_output before the program ended");
	// Ends at EIO, once the terminal has handed over all the program wrote.
	while (read_output(static_cast<int>(patience.count())))
		;
	return pending_;
}

std::string MonitorRun::error_output()
{
	if (!exited_)
		throw std::logic_error("error_output before the program ended");
	std::string text;
	char chunk[256];
	ssize_t n;
	while ((n = read(err_, chunk, sizeof(chunk))) > 0)
		text.append(chunk, static_cast<size_t>(n));
	return text;
}
