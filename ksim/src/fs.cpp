// The file layer: what open, read, write and close do between a user
// process and a character device's file operations.
#include "ksim/fs.hpp"

#include <linux/errno.h>
#include <linux/fs.h>

#include <map>
#include <memory>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::fs {
namespace {

constexpr const char *dev_prefix = "/dev/";

struct OpenFile {
	std::unique_ptr<struct inode> inode;
	std::unique_ptr<struct file> file;
};

struct Table {
	std::map<int, OpenFile> files;
	int next_fd = 3;
};

Table &table()
{
	static Table t;
	return t;
}

std::string node_name(const std::string &path)
{
	std::string prefix = dev_prefix;
	if (path.compare(0, prefix.size(), prefix) != 0)
		return "";
	return path.substr(prefix.size());
}

OpenFile *lookup(int fd)
{
	auto it = table().files.find(fd);
	return it == table().files.end() ? nullptr : &it->second;
}

int call_fasync(struct file *f, int fd, int on)
{
	int before = detail::mutexes_held();
	int result = f->f_op->fasync(fd, f, on);
	detail::check_return("fasync", before);
	return result;
}

// As the kernel's setfl: the fasync operation sets or clears FASYNC itself
// (through fasync_helper); the other status flags are copied.
int set_flags(int fd, struct file *f, unsigned flags)
{
	constexpr unsigned settable = O_APPEND | O_NONBLOCK | O_DIRECT | O_NOATIME;
	if (((flags ^ f->f_flags) & FASYNC) && f->f_op->fasync) {
		int result = call_fasync(f, fd, (flags & FASYNC) != 0);
		if (result < 0)
			return result;
	}
	f->f_flags = (flags & settable) | (f->f_flags & ~settable);
	return 0;
}

void enter_syscall(const char *call)
{
	if (current_context() != Context::process || irq::disabled())
		violations::report(std::string(call) +
				   " issued outside process context");
}

}  // namespace

bool exists(const std::string &path)
{
	return detail::node_exists(node_name(path));
}

std::vector<std::string> nodes()
{
	std::vector<std::string> paths;
	for (const std::string &name : detail::node_names())
		paths.push_back(dev_prefix + name);
	return paths;
}

dev_t devt(const std::string &path)
{
	return detail::node_devt(node_name(path));
}

int open(const std::string &path, int flags)
{
	enter_syscall("open");
	if (!exists(path))
		return -ENOENT;
	dev_t number = devt(path);
	const struct file_operations *fops = detail::chrdev_fops(number);
	if (!fops)
		return -ENXIO;
	if (!detail::module_get(fops->owner))
		return -ENXIO;
	OpenFile of;
	of.inode = std::make_unique<struct inode>();
	of.inode->i_rdev = number;
	of.file = std::make_unique<struct file>();
	of.file->f_op = fops;
	of.file->f_inode = of.inode.get();
	of.file->f_flags = static_cast<unsigned>(flags);
	if (fops->open) {
		int before = detail::mutexes_held();
		int result = fops->open(of.inode.get(), of.file.get());
		detail::check_return("open", before);
		if (result < 0) {
			detail::module_put(fops->owner);
			return result;
		}
	}
	int fd = table().next_fd++;
	table().files.emplace(fd, std::move(of));
	return fd;
}

ssize_t read(int fd, void *buf, size_t count)
{
	enter_syscall("read");
	OpenFile *of = lookup(fd);
	if (!of)
		return -EBADF;
	struct file *f = of->file.get();
	if (!f->f_op->read)
		return -EINVAL;
	int before = detail::mutexes_held();
	ssize_t result = f->f_op->read(f, static_cast<char *>(buf), count, &f->f_pos);
	detail::check_return("read", before);
	return result;
}

ssize_t write(int fd, const void *buf, size_t count)
{
	enter_syscall("write");
	OpenFile *of = lookup(fd);
	if (!of)
		return -EBADF;
	struct file *f = of->file.get();
	if (!f->f_op->write)
		return -EINVAL;
	int before = detail::mutexes_held();
	ssize_t result = f->f_op->write(f, static_cast<const char *>(buf), count,
					&f->f_pos);
	detail::check_return("write", before);
	return result;
}

int close(int fd)
{
	enter_syscall("close");
	auto it = table().files.find(fd);
	if (it == table().files.end())
		return -EBADF;
	OpenFile of = std::move(it->second);
	table().files.erase(it);
	struct file *f = of.file.get();
	const struct file_operations *fops = f->f_op;
	// The last close takes a file off its driver's fasync list first.
	if ((f->f_flags & FASYNC) && fops->fasync)
		call_fasync(f, -1, 0);
	if (fops->release) {
		int before = detail::mutexes_held();
		fops->release(of.inode.get(), f);
		detail::check_return("release", before);
	}
	if (detail::on_fasync_list(f))
		violations::report("file freed while still on a fasync list");
	detail::module_put(fops->owner);
	return 0;
}

int fcntl(int fd, int cmd, long arg)
{
	enter_syscall("fcntl");
	OpenFile *of = lookup(fd);
	if (!of)
		return -EBADF;
	struct file *f = of->file.get();
	switch (cmd) {
	case F_SETOWN:
		f->f_owner.pid = static_cast<pid_t>(arg);
		return 0;
	case F_GETFL:
		return static_cast<int>(f->f_flags);
	case F_SETFL:
		return set_flags(fd, f, static_cast<unsigned>(arg));
	}
	return -EINVAL;
}

struct file *file(int fd)
{
	OpenFile *of = lookup(fd);
	return of ? of->file.get() : nullptr;
}

}  // namespace ksim::fs

namespace ksim::detail {

void reset_files()
{
	fs::table() = fs::Table{};
}

void check_return(const char *from, int mutexes_before)
{
	if (irq::disabled())
		violations::report(std::string(from) +
				   " returned with interrupts disabled");
	if (mutexes_held() != mutexes_before)
		violations::report(std::string(from) + " returned with " +
				   std::to_string(mutexes_held() - mutexes_before) +
				   " mutex(es) still held");
}

}  // namespace ksim::detail
