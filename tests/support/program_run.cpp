#include "program_run.h"

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
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

#if defined(__x86_64__)
constexpr std::uint32_t host_audit_arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t host_audit_arch = AUDIT_ARCH_AARCH64;
#else
#error "no seccomp architecture constant for this host"
#endif

// How long one look for output lasts: a wait of 0 still sees what is on its
// way, and waiting for an exit still empties the streams.
constexpr milliseconds look{100};
constexpr milliseconds exit_poll{5};

[[noreturn]] void fail(const std::string &what)
{
	throw std::system_error(errno, std::generic_category(), what);
}

int poll_timeout(milliseconds timeout)
{
	return static_cast<int>(std::max<milliseconds::rep>(timeout.count(), 0));
}

// In the child. Returns the failed step, or nullptr.
const char *make_private_dev(const PrivateDev &dev)
{
	if (unshare(CLONE_NEWNS))
		return "unshare -m";
	if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
		return "private mounts";
	if (mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755"))
		return "tmpfs on /dev";
	const std::string path = "/dev/" + dev.name;
	switch (dev.node) {
	case Node::none:
		return nullptr;
	case Node::fifo:
		return mkfifo(path.c_str(), 0600) ? "mkfifo" : nullptr;
	case Node::unreadable:
		// Reading the process's own memory at offset 0 fails with EIO.
		return symlink("/proc/self/mem", path.c_str()) ? "symlink" : nullptr;
	}
	return "unknown node kind";
}

// In the child. Returns the failed step, or nullptr.
const char *refuse(const RefusedCall &call)
{
	constexpr std::uint32_t low_word = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
	const std::uint32_t argument = offsetof(seccomp_data, args) +
		call.argument * sizeof(seccomp_data::args[0]) + low_word;
	const std::uint32_t refusal = SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(call.error);
	sock_filter filter[] = {
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, host_audit_arch, 0, 5),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(call.number), 0, 3),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call.value, 0, 1),
		BPF_STMT(BPF_RET | BPF_K, refusal),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	};
	sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};

	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0))
		return "no_new_privs";
	if (syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program))
		return "seccomp";
	return nullptr;
}

// In the child: never returns. A failed step is written to `status`, which
// the exec closes when all went well.
[[noreturn]] void run_child(const RunOptions &options, char *const argv[], int out,
			    int err, int status)
{
	const char *failed = nullptr;
	if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
		failed = "dup2";
	if (!failed && options.dev)
		failed = make_private_dev(*options.dev);
	if (!failed && options.refused)
		failed = refuse(*options.refused);
	if (!failed) {
		execv(options.program.c_str(), argv);
		failed = "exec";
	}
	dprintf(status, "%s %s: %s", failed, options.program.c_str(), std::strerror(errno));
	_exit(127);
}

// Both ends close-on-exec; an end still held is closed with the pipe.
struct Pipe {
	int read = -1;
	int write = -1;

	Pipe()
	{
		int ends[2];
		if (pipe2(ends, O_CLOEXEC))
			fail("pipe");
		read = ends[0];
		write = ends[1];
	}
	~Pipe()
	{
		for (int end : {read, write})
			if (end >= 0)
				close(end);
	}
	Pipe(const Pipe &) = delete;
	Pipe &operator=(const Pipe &) = delete;

	void close_write() { close(std::exchange(write, -1)); }
	int take_read() { return std::exchange(read, -1); }
};

std::string read_to_end(int fd)
{
	std::string text;
	char chunk[256];
	ssize_t n;
	while ((n = read(fd, chunk, sizeof(chunk))) > 0)
		text.append(chunk, static_cast<size_t>(n));
	return text;
}

} // namespace

ProgramRun::ProgramRun(const RunOptions &options) : dev_(options.dev)
{
	if (options.refused && options.refused->argument >= std::size(seccomp_data{}.args))
		throw std::invalid_argument("a system call has six arguments");
	std::vector<char *> argv{const_cast<char *>(
		(options.name.empty() ? options.program : options.name).c_str())};
	for (const std::string &arg : options.args)
		argv.push_back(const_cast<char *>(arg.c_str()));
	argv.push_back(nullptr);

	Pipe err, status;
	std::optional<Pipe> out;
	if (options.output == Stdout::terminal)
		terminal_.make_raw();
	else
		out.emplace();
	pid_ = fork();
	if (pid_ < 0)
		fail("fork");
	if (pid_ == 0)
		run_child(options, argv.data(), out ? out->write : terminal_.slave(), err.write,
			  status.write);
	// The program's ends: once it has closed them, reading ours ends.
	err.close_write();
	status.close_write();
	if (out)
		out->close_write();
	else
		terminal_.close_slave();
	const std::string failed = read_to_end(status.read);
	if (!failed.empty()) {
		waitpid(pid_, nullptr, 0);
		throw std::runtime_error("test set-up: " + failed);
	}
	if (out)
		out_pipe_ = out->take_read();
	out_.fd = out ? out_pipe_ : terminal_.master();
	err_.fd = err.take_read();
}

ProgramRun::~ProgramRun()
{
	if (!status_) {
		kill(pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
	}
	close(err_.fd);
	if (out_pipe_ >= 0)
		close(out_pipe_);
}

std::string ProgramRun::proc_path(const std::string &entry) const
{
	return "/proc/" + std::to_string(pid_) + "/" + entry;
}

int ProgramRun::open_node(int flags) const
{
	if (!dev_)
		throw std::logic_error("open_node without a private /dev");
	// The node lives in the program's namespace; reach it through its root.
	const std::string path = proc_path("root/dev/" + dev_->name);
	const int fd = open(path.c_str(), flags | O_CLOEXEC);
	if (fd < 0)
		fail("open " + path);
	return fd;
}

void ProgramRun::send(int signal) const
{
	if (kill(pid_, signal))
		fail("kill");
}

std::string ProgramRun::next_line(milliseconds within)
{
	const auto deadline = steady_clock::now() + within;
	std::string::size_type end;
	while ((end = out_.pending.find('\n')) == std::string::npos) {
		const auto left = std::chrono::duration_cast<milliseconds>(
			deadline - steady_clock::now());
		if (left.count() <= 0 || !out_.read_some(left))
			throw std::runtime_error("no line; output so far: '" + out_.pending + "'");
	}
	std::string line = out_.pending.substr(0, end);
	out_.pending.erase(0, end + 1);
	return line;
}

std::string ProgramRun::output(std::size_t count, milliseconds within)
{
	return out_.collect(count, within);
}

std::string ProgramRun::errors(std::size_t count, milliseconds within)
{
	return err_.collect(count, within);
}

std::optional<int> ProgramRun::wait_exit(milliseconds within)
{
	const auto deadline = steady_clock::now() + within;
	while (!status_) {
		int status;
		if (waitpid(pid_, &status, WNOHANG) == pid_)
			status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
		else if (steady_clock::now() >= deadline)
			break;
		else
			drain(exit_poll);
	}
	return status_;
}

std::string ProgramRun::rest_of_output()
{
	require_exited(__func__);
	return out_.rest();
}

std::string ProgramRun::rest_of_errors()
{
	require_exited(__func__);
	return err_.rest();
}

void ProgramRun::drain(milliseconds timeout)
{
	// poll skips a negative descriptor: a closed stream has nothing more.
	pollfd streams[] = {{out_.closed ? -1 : out_.fd, POLLIN, 0},
			    {err_.closed ? -1 : err_.fd, POLLIN, 0}};
	if (poll(streams, std::size(streams), poll_timeout(timeout)) <= 0)
		return;
	if (streams[0].revents)
		out_.read_some(milliseconds{0});
	if (streams[1].revents)
		err_.read_some(milliseconds{0});
}

void ProgramRun::require_exited(const char *call) const
{
	if (!status_)
		throw std::logic_error(std::string(call) + " before the program ended");
}

bool ProgramRun::Stream::read_some(milliseconds timeout)
{
	if (closed)
		return false;
	pollfd ready = {fd, POLLIN, 0};
	if (poll(&ready, 1, poll_timeout(timeout)) <= 0)
		return false;
	char chunk[4096];
	const ssize_t n = read(fd, chunk, sizeof(chunk));
	if (n <= 0) {
		closed = true;
		return false;
	}
	pending.append(chunk, static_cast<size_t>(n));
	return true;
}

std::string ProgramRun::Stream::collect(std::size_t count, milliseconds within)
{
	const auto deadline = steady_clock::now() + within;
	while (pending.size() < count && !closed) {
		read_some(look);
		if (steady_clock::now() >= deadline)
			break;
	}
	return std::exchange(pending, {});
}

std::string ProgramRun::Stream::rest()
{
	while (read_some(patience))
		;
	return std::exchange(pending, {});
}
