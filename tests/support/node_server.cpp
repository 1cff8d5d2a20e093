#include "node_server.h"

#include <linux/seccomp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

namespace {

// More than any node of the kit takes in one write.
constexpr std::size_t write_limit = 1 << 20;

// The caller's buffer is written or read as the driver's copy_to_user or
// copy_from_user would, and a fault is theirs: EFAULT.
long served_read(const NodeModel &model, pid_t caller, void *buffer, std::size_t count)
{
	if (!model.read)
		return -EINVAL;
	const NodeReply answer = model.read(count);
	const std::size_t n = std::min(answer.bytes.size(), count);
	iovec from = {const_cast<char *>(answer.bytes.data()), n};
	iovec to = {buffer, n};
	if (n && process_vm_writev(caller, &from, 1, &to, 1, 0) != ssize_t(n))
		return -EFAULT;
	return answer.result;
}

long served_write(const NodeModel &model, pid_t caller, void *buffer, std::size_t count)
{
	if (!model.write)
		return -EINVAL;
	std::string bytes(std::min(count, write_limit), '\0');
	iovec from = {buffer, bytes.size()};
	iovec to = {bytes.data(), bytes.size()};
	if (!bytes.empty() && process_vm_readv(caller, &to, 1, &from, 1, 0) != ssize_t(bytes.size()))
		return -EFAULT;
	return model.write(bytes);
}

} // namespace

NodeServer::NodeServer(int listener, std::vector<ServedNode> nodes)
	: listener_(listener), stop_(eventfd(0, EFD_CLOEXEC)), nodes_(std::move(nodes))
{
	if (stop_ < 0) {
		close(listener_);
		throw std::system_error(errno, std::generic_category(), "eventfd");
	}
	thread_ = std::thread(&NodeServer::serve, this);
}

NodeServer::~NodeServer()
{
	const std::uint64_t one = 1;
	if (write(stop_, &one, sizeof one) != sizeof one)
		std::terminate(); // the thread would never end
	thread_.join();
	close(stop_);
	close(listener_);
}

void NodeServer::serve()
{
	for (;;) {
		pollfd ready[] = {{listener_, POLLIN, 0}, {stop_, POLLIN, 0}};
		if (poll(ready, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (ready[1].revents)
			return;
		if (ready[0].revents & POLLIN)
			answer_one();
		else if (ready[0].revents)
			return; // no program uses the filter any more
	}
}

const ServedNode *NodeServer::serving(const std::string &file) const
{
	struct stat node;
	if (stat(file.c_str(), &node) != 0)
		return nullptr;
	for (const ServedNode &served : nodes_)
		if (node.st_dev == served.id.device && node.st_ino == served.id.inode)
			return &served;
	return nullptr;
}

void NodeServer::answer_one()
{
	seccomp_notif call = {};
	// Fails when the caller went away meanwhile.
	if (ioctl(listener_, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0)
		return;
	seccomp_notif_resp reply = {};
	reply.id = call.id;

	const pid_t caller = static_cast<pid_t>(call.pid);
	const std::string file = "/proc/" + std::to_string(caller) + "/fd/" +
				 std::to_string(static_cast<int>(call.data.args[0]));
	const ServedNode *served = serving(file);
	if (!served) {
		reply.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
	} else {
		void *buffer = reinterpret_cast<void *>(call.data.args[1]);
		const std::size_t count = call.data.args[2];
		const long result = call.data.nr == SYS_read
					    ? served_read(served->model, caller, buffer, count)
					    : served_write(served->model, caller, buffer, count);
		if (result < 0)
			reply.error = static_cast<std::int32_t>(result);
		else
			reply.val = result;
	}
	// Fails when the call was interrupted meanwhile: nobody waits for it.
	ioctl(listener_, SECCOMP_IOCTL_NOTIF_SEND, &reply);
}
