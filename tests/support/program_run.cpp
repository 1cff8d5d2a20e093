#include "program_run.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
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
const char *mount_private_dev()
{
	if (unshare(CLONE_NEWNS))
		return "unshare -m";
	if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr))
		return "private mounts";
	if (mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755"))
		return "tmpfs on /dev";
	return nullptr;
}

// In the child, in the private /dev. Returns the failed step, or nullptr.
const char *make_node(Node kind, const std::string &path)
{
	switch (kind) {
	case Node::none:
		return nullptr;
	case Node::served:
		// A FIFO takes FASYNC and F_SETOWN as the node does; the reads and
		// writes that would reach it are the test's to answer.
		return mkfifo(path.c_str(), 0600) ? "mkfifo" : nullptr;
	case Node::full:
		return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) ? "mknod" : nullptr;
	}
	return "unknown node kind";
}

// A seccomp filter, built from the top: after the architecture check the
// accumulator holds the call's number at the start of each rule.
class Filter {
public:
	Filter()
	{
		load(offsetof(seccomp_data, arch));
		code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, host_audit_arch, 1, 0));
		code_.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
		load(offsetof(seccomp_data, nr));
	}

	void refuse(const RefusedCall &call)
	{
		constexpr std::uint32_t low_word = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
		const std::uint32_t argument = offsetof(seccomp_data, args) +
			call.argument * sizeof(seccomp_data::args[0]) + low_word;
		code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K,
					 static_cast<std::uint32_t>(call.number), 0, 3));
		load(argument);
		code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call.value, 0, 1));
		code_.push_back(BPF_STMT(BPF_RET | BPF_K,
					 SECCOMP_RET_ERRNO | static_cast<std::uint32_t>(call.error)));
		load(offsetof(seccomp_data, nr));
	}

	// The test answers these calls, or lets them go on.
	void hand_over(long number)
	{
		code_.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K,
					 static_cast<std::uint32_t>(number), 0, 1));
		code_.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF));
	}

	void finish() { code_.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)); }

	// In the child. Returns the listener when calls are handed over, 0 when
	// none are, or -1 on failure.
	int install(bool listen)
	{
		sock_fprog program = {static_cast<unsigned short>(code_.size()), code_.data()};
		if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0))
			return -1;
		const unsigned flags = listen ? SECCOMP_FILTER_FLAG_NEW_LISTENER : 0;
		return static_cast<int>(syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, flags, &program));
	}

private:
	void load(std::uint32_t offset)
	{
		code_.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offset));
	}

	std::vector<sock_filter> code_;
};

// At most this many served nodes in one private /dev.
constexpr std::size_t max_served = 4;

// What the child of served nodes hands over: the filter's listener, then an
// end of each served node's FIFO, which the test holds so that no open of
// it waits.
struct HandedOver {
	int fds[1 + max_served] = {};
	std::size_t count = 0;

	int listener() const { return fds[0]; }
};

// One byte, which a message must carry, and room for the descriptors.
struct Message {
	char byte = 0;
	iovec data = {&byte, 1};
	alignas(cmsghdr) char control[CMSG_SPACE(sizeof(HandedOver::fds))] = {};
	msghdr header = {};

	Message()
	{
		header.msg_iov = &data;
		header.msg_iovlen = 1;
		header.msg_control = control;
		header.msg_controllen = sizeof control;
	}
	Message(const Message &) = delete;
	Message &operator=(const Message &) = delete;
};

bool hand_over(int socket, const HandedOver &handed)
{
	Message message;
	cmsghdr *rights = CMSG_FIRSTHDR(&message.header);
	rights->cmsg_level = SOL_SOCKET;
	rights->cmsg_type = SCM_RIGHTS;
	rights->cmsg_len = CMSG_LEN(handed.count * sizeof(int));
	message.header.msg_controllen = CMSG_SPACE(handed.count * sizeof(int));
	std::memcpy(CMSG_DATA(rights), handed.fds, handed.count * sizeof(int));
	return sendmsg(socket, &message.header, 0) == 1;
}

// False when the child ended before it handed over `count` descriptors.
bool take_over(int socket, std::size_t count, HandedOver &handed)
{
	Message message;
	if (recvmsg(socket, &message.header, MSG_CMSG_CLOEXEC) != 1)
		return false;
	const cmsghdr *rights = CMSG_FIRSTHDR(&message.header);
	if (!rights || rights->cmsg_type != SCM_RIGHTS ||
	    rights->cmsg_len != CMSG_LEN(count * sizeof(int)))
		return false;
	std::memcpy(handed.fds, CMSG_DATA(rights), count * sizeof(int));
	handed.count = count;
	return true;
}

struct PlannedNode {
	const PrivateDev *dev;
	std::string path;
};

// What the child does besides the exec, made ready before the fork so that
// the child allocates nothing.
struct ChildPlan {
	const RunOptions &options;
	std::vector<PlannedNode> nodes; // dev's first
	std::vector<const PlannedNode *> served;
	std::optional<Filter> filter;

	explicit ChildPlan(const RunOptions &run) : options(run)
	{
		if (options.dev)
			nodes.push_back({&*options.dev, "/dev/" + options.dev->name});
		else if (!options.other_nodes.empty())
			throw std::invalid_argument("other nodes go in dev's private /dev");
		for (const PrivateDev &other : options.other_nodes)
			nodes.push_back({&other, "/dev/" + other.name});
		for (const PlannedNode &node : nodes)
			if (node.dev->node == Node::served)
				served.push_back(&node);
		if (served.size() > max_served)
			throw std::invalid_argument("too many served nodes");
		if (served.empty() && !options.refused)
			return;
		filter.emplace();
		if (options.refused)
			filter->refuse(*options.refused);
		if (!served.empty()) {
			filter->hand_over(SYS_read);
			filter->hand_over(SYS_write);
		}
		filter->finish();
	}

	bool dev_served() const { return options.dev && options.dev->node == Node::served; }
};

// In the child. Returns the failed step, or nullptr.
const char *make_private_dev(const ChildPlan &plan)
{
	if (const char *failed = mount_private_dev())
		return failed;
	for (const PlannedNode &node : plan.nodes)
		if (const char *failed = make_node(node.dev->node, node.path))
			return failed;
	return nullptr;
}

// In the child. Returns the failed step, or nullptr. The filter comes last
// before the exec: from then on the child's reads and writes wait for the
// test, which has the listener by then.
const char *install_filter(ChildPlan &plan, int socket)
{
	if (!plan.filter)
		return nullptr;
	HandedOver handed;
	handed.count = 1 + plan.served.size();
	for (std::size_t i = 0; i < plan.served.size(); ++i)
		if ((handed.fds[1 + i] = open(plan.served[i]->path.c_str(), O_RDWR | O_CLOEXEC)) < 0)
			return "opening the node";
	const bool listen = !plan.served.empty();
	handed.fds[0] = plan.filter->install(listen);
	if (handed.fds[0] < 0)
		return "seccomp";
	if (listen && !hand_over(socket, handed)) {
		// Without a listener the handed-over calls fail instead of waiting.
		close(handed.fds[0]);
		return "handing over the listener";
	}
	return nullptr;
}

// In the child: never returns. A failed step is written to `status`, which
// the exec closes when all went well.
[[noreturn]] void run_child(ChildPlan &plan, char *const argv[], int out, int err, int status,
			    int socket)
{
	const char *failed = nullptr;
	if (dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0)
		failed = "dup2";
	if (!failed && plan.options.dev)
		failed = make_private_dev(plan);
	if (!failed)
		failed = install_filter(plan, socket);
	if (!failed) {
		execv(plan.options.program.c_str(), argv);
		failed = "exec";
	}
	dprintf(status, "%s %s: %s", failed, plan.options.program.c_str(), std::strerror(errno));
	_exit(127);
}

// Both ends close-on-exec; an end still held is closed with the pipe. A
// socket pair stands in where descriptors pass from the child.
struct Pipe {
	int read = -1;
	int write = -1;

	explicit Pipe(bool socket = false)
	{
		int ends[2];
		if (socket ? socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends)
			   : pipe2(ends, O_CLOEXEC))
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

// Each served node of the plan, known by the test's end of its FIFO.
std::vector<ServedNode> served_nodes(const ChildPlan &plan, const std::vector<int> &ends)
{
	std::vector<ServedNode> served;
	for (std::size_t i = 0; i < plan.served.size(); ++i) {
		struct stat node;
		const NodeId id = fstat(ends[i], &node) == 0 ? NodeId{node.st_dev, node.st_ino}
							     : NodeId{};
		served.push_back({id, plan.served[i]->dev->model});
	}
	return served;
}

bool same_file(const std::string &path, dev_t device, ino_t inode)
{
	struct stat file;
	return stat(path.c_str(), &file) == 0 && file.st_dev == device && file.st_ino == inode;
}

} // namespace

ProgramRun::ProgramRun(const RunOptions &options)
{
	if (options.refused && options.refused->argument >= std::size(seccomp_data{}.args))
		throw std::invalid_argument("a system call has six arguments");
	std::vector<char *> argv{const_cast<char *>(
		(options.name.empty() ? options.program : options.name).c_str())};
	for (const std::string &arg : options.args)
		argv.push_back(const_cast<char *>(arg.c_str()));
	argv.push_back(nullptr);
	ChildPlan plan(options);

	Pipe err, status, listener(true);
	std::optional<Pipe> out;
	if (options.output == Stdout::terminal)
		terminal_.make_raw();
	else
		out.emplace();
	pid_ = fork();
	if (pid_ < 0)
		fail("fork");
	if (pid_ == 0)
		run_child(plan, argv.data(), out ? out->write : terminal_.slave(), err.write,
			  status.write, listener.write);
	pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
	// The program's ends: once it has closed them, reading ours ends.
	err.close_write();
	status.close_write();
	listener.close_write();
	if (out)
		out->close_write();
	else
		terminal_.close_slave();
	HandedOver handed;
	// Without them the child has failed, and says so on the status pipe.
	if (!plan.served.empty() && take_over(listener.read, 1 + plan.served.size(), handed)) {
		node_ends_.assign(handed.fds + 1, handed.fds + handed.count);
		std::vector<ServedNode> served = served_nodes(plan, node_ends_);
		if (plan.dev_served())
			node_ = served.front().id;
		server_ = std::make_unique<NodeServer>(handed.listener(), std::move(served));
	}
	const std::string failed = read_to_end(status.read);
	if (!failed.empty() || pidfd_ < 0) {
		waitpid(pid_, nullptr, 0);
		throw std::runtime_error("test set-up: " +
					 (failed.empty() ? std::string("pidfd_open") : failed));
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
	// Only now: a model may still be answering a call of the program's,
	// and the FIFO's last close would signal its readers.
	server_.reset();
	for (int end : node_ends_)
		close(end);
	close(pidfd_);
	close(err_.fd);
	if (out_pipe_ >= 0)
		close(out_pipe_);
}

std::string ProgramRun::proc_path(const std::string &entry) const
{
	return "/proc/" + std::to_string(pid_) + "/" + entry;
}

std::string ProgramRun::proc_text(const std::string &entry) const
{
	std::ifstream in(proc_path(entry));
	return std::string(std::istreambuf_iterator<char>(in), {});
}

long ProgramRun::bytes_read() const
{
	std::ifstream io(proc_path("io"));
	std::string key;
	long value = -1;
	while (io >> key >> value && key != "rchar:")
		;
	return value;
}

void ProgramRun::send(int signal) const
{
	if (kill(pid_, signal))
		fail("kill");
}

int ProgramRun::notify(int signal) const
{
	if (!node_)
		throw std::logic_error("notify without a served node");
	DIR *fds = opendir(proc_path("fd").c_str());
	if (!fds)
		fail("opendir " + proc_path("fd"));
	int signalled = 0;
	while (const dirent *entry = readdir(fds)) {
		if (entry->d_name[0] == '.' ||
		    !same_file(proc_path("fd/") + entry->d_name, node_->device, node_->inode))
			continue;
		// The flags and the owner belong to the open file, which a copy shares.
		const int copy = static_cast<int>(
			syscall(SYS_pidfd_getfd, pidfd_, std::atoi(entry->d_name), 0));
		if (copy < 0) {
			closedir(fds);
			fail("pidfd_getfd");
		}
		const int flags = fcntl(copy, F_GETFL);
		f_owner_ex owner = {};
		const bool owned = fcntl(copy, F_GETOWN_EX, &owner) == 0 && owner.pid > 0;
		close(copy);
		if (flags < 0 || !(flags & FASYNC) || !owned)
			continue;
		if (owner.type == F_OWNER_TID)
			syscall(SYS_tgkill, pid_, owner.pid, signal);
		else if (owner.type == F_OWNER_PGRP)
			kill(-owner.pid, signal);
		else
			kill(owner.pid, signal);
		signalled++;
	}
	closedir(fds);
	return signalled;
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

bool ProgramRun::take_output()
{
	out_.read_some(milliseconds{0});
	return !out_.closed;
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
