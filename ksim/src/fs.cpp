// Character-device regions, classes, the nodes device_create publishes
// under /dev, the file calls a process makes on them, and fasync.
#include <linux/device.h>
#include <linux/fs.h>
#include <linux/module.h>

#include <algorithm>
#include <list>
#include <memory>
#include <set>

#include "internal.hpp"

namespace ksim::fs {
namespace {

// As in the kernel: dynamic majors are handed out from the top down.
constexpr unsigned max_major = 254;

struct Region {
	unsigned major, baseminor, count;
	std::string name;
	const struct file_operations *fops;
	bool overlaps(unsigned ma, unsigned base, unsigned n) const
	{
		return major == ma && base < baseminor + count && baseminor < base + n;
	}
};

struct OpenFile {
	std::unique_ptr<struct inode> inode;
	std::unique_ptr<struct file> file;
};

struct State {
	std::list<Region> regions;
	std::map<std::string, std::unique_ptr<ksim_class>> classes;
	// Keyed by the name under /dev, which the device's name points to.
	std::map<std::string, std::unique_ptr<struct device>> nodes;
	std::map<int, OpenFile> files;
	int next_fd = 3;
	std::set<const fasync_struct *> fasync;
};

State &state()
{
	static State s;
	return s;
}

const struct device *node(const std::string &path)
{
	auto it = state().nodes.find(path.rfind("/dev/", 0) == 0 ? path.substr(5) : "");
	return it == state().nodes.end() ? nullptr : it->second.get();
}

const struct file_operations *fops_of(dev_t devt)
{
	for (const Region &r : state().regions)
		if (r.overlaps(MAJOR(devt), MINOR(devt), 1))
			return r.fops;
	return nullptr;
}

// A file operation returns to user space: interrupts on, no mutex held.
template <typename Call> auto call_driver(const char *what, Call call)
{
	int before = detail::mutexes_held();
	auto result = call();
	detail::check_return(what, before);
	return result;
}

}  // namespace

bool exists(const std::string &path) { return node(path) != nullptr; }

std::vector<std::string> nodes()
{
	std::vector<std::string> paths;
	for (const auto &entry : state().nodes)
		paths.push_back("/dev/" + entry.first);
	return paths;
}

dev_t devt(const std::string &path) { return exists(path) ? node(path)->devt : 0; }

int open(const std::string &path, int flags)
{
	if (!exists(path))
		return -ENOENT;
	const struct file_operations *fops = fops_of(devt(path));
	if (!fops || !detail::module_get(fops->owner))
		return -ENXIO;
	OpenFile of{std::make_unique<struct inode>(), std::make_unique<struct file>()};
	struct inode *inode = of.inode.get();
	struct file *f = of.file.get();
	inode->i_rdev = devt(path);
	*f = {fops, inode, static_cast<unsigned>(flags), 0, {}};
	int result = 0;
	if (fops->open)
		result = call_driver("open", [&] { return fops->open(inode, f); });
	if (result < 0) {
		detail::module_put(fops->owner);
		return result;
	}
	state().files.emplace(state().next_fd, std::move(of));
	return state().next_fd++;
}

ssize_t read(int fd, void *buf, size_t count)
{
	struct file *f = file(fd);
	if (!f)
		return -EBADF;
	if (!f->f_op->read)
		return -EINVAL;
	return call_driver("read", [&] {
		return f->f_op->read(f, static_cast<char *>(buf), count, &f->f_pos);
	});
}

ssize_t write(int fd, const void *buf, size_t count)
{
	struct file *f = file(fd);
	if (!f)
		return -EBADF;
	if (!f->f_op->write)
		return -EINVAL;
	return call_driver("write", [&] {
		return f->f_op->write(f, static_cast<const char *>(buf), count, &f->f_pos);
	});
}

int close(int fd)
{
	auto it = state().files.find(fd);
	if (it == state().files.end())
		return -EBADF;
	OpenFile of = std::move(it->second);
	state().files.erase(it);
	struct file *f = of.file.get();
	const struct file_operations *fops = f->f_op;
	// The last close takes a file off its driver's fasync list first.
	if ((f->f_flags & FASYNC) && fops->fasync)
		call_driver("fasync", [&] { return fops->fasync(-1, f, 0); });
	if (fops->release)
		call_driver("release", [&] { return fops->release(of.inode.get(), f); });
	for (const fasync_struct *fa : state().fasync)
		if (fa->fa_file == f)
			violations::report("file freed while still on a fasync list");
	detail::module_put(fops->owner);
	return 0;
}

// As the kernel's setfl, the fasync operation sets or clears FASYNC itself
// (through fasync_helper); the model keeps no other status flag.
int fcntl(int fd, int cmd, long arg)
{
	struct file *f = file(fd);
	if (!f)
		return -EBADF;
	const bool on = arg & FASYNC;
	switch (cmd) {
	case F_SETOWN:
		f->f_owner.pid = static_cast<pid_t>(arg);
		return 0;
	case F_GETFL:
		return static_cast<int>(f->f_flags);
	case F_SETFL:
		if (on == static_cast<bool>(f->f_flags & FASYNC) || !f->f_op->fasync)
			return 0;
		return std::min(0, call_driver("fasync", [&] {
			return f->f_op->fasync(fd, f, on);
		}));
	}
	return -EINVAL;
}

struct file *file(int fd)
{
	auto it = state().files.find(fd);
	return it == state().files.end() ? nullptr : it->second.file.get();
}

}  // namespace ksim::fs

std::size_t ksim::fasync::entries() { return fs::state().fasync.size(); }

namespace ksim::detail {

void reset_files()
{
	for (const fasync_struct *fa : fs::state().fasync)
		delete fa;
	fs::state() = fs::State{};
}

std::vector<std::string> chrdevs_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const fs::Region &r : fs::state().regions)
		if (r.fops && r.fops->owner == mod)
			held.push_back(format("character device \"%s\" (major %u)", r.name.c_str(),
					      r.major));
	for (const auto &c : fs::state().classes)
		if (c.second->owner == mod)
			held.push_back("class \"" + c.first + "\"");
	return held;
}

}  // namespace ksim::detail

using ksim::detail::event;
using ksim::fs::state;

extern "C" {

int __register_chrdev(unsigned int major, unsigned int baseminor, unsigned int count,
		      const char *name, const struct file_operations *fops)
{
	if (int error = ksim_fault("register_chrdev"))
		return error;
	auto in_use = [](unsigned m) {
		return std::any_of(state().regions.begin(), state().regions.end(),
				   [m](const auto &r) { return r.major == m; });
	};
	if (!major)
		for (major = ksim::fs::max_major; major && in_use(major); major--)
			;
	for (const auto &r : state().regions)
		if (!major || r.overlaps(major, baseminor, count))
			return -EBUSY;
	state().regions.push_back({major, baseminor, count, name, fops});
	event("core", std::string("register_chrdev ") + name);
	return static_cast<int>(major);
}

void __unregister_chrdev(unsigned int major, unsigned int baseminor, unsigned int count,
			 const char *name)
{
	auto &regions = state().regions;
	for (auto it = regions.begin(); it != regions.end(); ++it) {
		if (it->major == major && it->baseminor == baseminor && it->count == count) {
			event("core", "unregister_chrdev " + it->name);
			regions.erase(it);
			return;
		}
	}
	ksim::violations::report(ksim::detail::format(
		"__unregister_chrdev of \"%s\": no region at major %u", name, major));
}

struct ksim_class *__class_create(struct module *owner, const char *name, struct lock_class_key *)
{
	if (int error = ksim_fault("class_create"))
		return static_cast<ksim_class *>(ERR_PTR(error));
	auto &cls = state().classes[name];
	if (cls)
		return static_cast<ksim_class *>(ERR_PTR(-EEXIST));
	cls = std::make_unique<ksim_class>();
	*cls = {state().classes.find(name)->first.c_str(), owner};
	event("core", std::string("class_create ") + name);
	return cls.get();
}

// Devices left in a destroyed class would keep a pointer to freed memory.
void class_destroy(struct ksim_class *cls)
{
	if (!cls || IS_ERR(cls))
		return;
	for (const auto &entry : state().nodes)
		if (entry.second->ksim_class == cls)
			ksim::violations::report(ksim::detail::format(
				"class \"%s\" destroyed while device \"%s\" is in it", cls->name,
				entry.first.c_str()));
	const std::string name = cls->name;
	event("core", "class_destroy " + name);
	state().classes.erase(name);
}

struct device *device_create(struct ksim_class *cls, struct device *, dev_t devt, void *,
			     const char *fmt, ...)
{
	if (!cls || IS_ERR(cls))
		return static_cast<device *>(ERR_PTR(-ENODEV));
	if (int error = ksim_fault("device_create"))
		return static_cast<device *>(ERR_PTR(error));
	va_list args;
	va_start(args, fmt);
	std::string name = ksim::detail::vformat(fmt, args);
	va_end(args);
	auto &dev = state().nodes[name];
	if (dev)
		return static_cast<device *>(ERR_PTR(-EEXIST));
	dev = std::make_unique<device>();
	dev->init_name = state().nodes.find(name)->first.c_str();
	dev->devt = devt;
	dev->ksim_class = cls;
	event("core", "device_create " + name);
	return dev.get();
}

void device_destroy(struct ksim_class *cls, dev_t devt)
{
	auto &nodes = state().nodes;
	for (auto it = nodes.begin(); it != nodes.end(); ++it) {
		if (it->second->ksim_class == cls && it->second->devt == devt) {
			event("core", "device_destroy " + it->first);
			nodes.erase(it);
			return;
		}
	}
}

int fasync_helper(int fd, struct file *filp, int on, struct fasync_struct **fapp)
{
	for (fasync_struct **link = fapp; *link; link = &(*link)->fa_next) {
		fasync_struct *fa = *link;
		if (fa->fa_file != filp)
			continue;
		if (on) {
			fa->fa_fd = fd;
			return 0;
		}
		*link = fa->fa_next;
		state().fasync.erase(fa);
		delete fa;
		filp->f_flags &= ~FASYNC;
		return 1;
	}
	if (!on)
		return 0;
	ksim_might_sleep("fasync_helper");
	if (int error = ksim_fault("fasync_helper"))
		return error;
	*fapp = new fasync_struct{FASYNC_MAGIC, fd, *fapp, filp};
	state().fasync.insert(*fapp);
	filp->f_flags |= FASYNC;
	return 1;
}

// Signals are events, the board's SIGIO and POLL_IN by name.
void kill_fasync(struct fasync_struct **fp, int sig, int band)
{
	for (const fasync_struct *fa = *fp; fa; fa = fa->fa_next) {
		if (!state().fasync.count(fa) || fa->magic != FASYNC_MAGIC) {
			ksim::violations::report("kill_fasync on a freed or corrupt entry");
			return;
		}
		const pid_t owner = fa->fa_file->f_owner.pid;
		if (!owner)
			continue;
		const std::string signal = sig == 29 ? "SIGIO" : ksim::detail::format("%#x", sig);
		const std::string why =
			band == 0x20001 ? "POLL_IN" : ksim::detail::format("%#x", band);
		event("signal", ksim::detail::format("pid %d fd %d %s %s", owner, fa->fa_fd,
						      signal.c_str(), why.c_str()));
	}
}

}  // extern "C"
