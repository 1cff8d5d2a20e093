// Character-device regions, device classes and the device nodes that
// device_create publishes under /dev.
#include <linux/device.h>
#include <linux/fs.h>
#include <linux/module.h>

#include <cstdarg>
#include <cstdio>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "ksim/context.hpp"
#include "ksim/fs.hpp"
#include "internal.hpp"

namespace ksim::detail {
namespace {

// As in the kernel: dynamic majors are handed out from the top down.
constexpr unsigned max_major = 254;

struct Region {
	unsigned major;
	unsigned baseminor;
	unsigned count;
	std::string name;
	const struct file_operations *fops;
};

struct Node {
	std::unique_ptr<struct device> dev;
	std::string name;
};

struct Class {
	std::unique_ptr<ksim_class> cls;
	std::string name;
};

struct Registry {
	std::list<Region> regions;
	std::list<Class> classes;
	std::map<std::string, Node> nodes;
};

Registry &registry()
{
	static Registry r;
	return r;
}

bool overlaps(const Region &r, unsigned major, unsigned baseminor, unsigned count)
{
	return r.major == major && baseminor < r.baseminor + r.count &&
	       r.baseminor < baseminor + count;
}

bool major_in_use(unsigned major)
{
	for (const Region &r : registry().regions)
		if (r.major == major)
			return true;
	return false;
}

Class *find_class(const ksim_class *cls)
{
	for (Class &c : registry().classes)
		if (c.cls.get() == cls)
			return &c;
	return nullptr;
}

}  // namespace

void reset_chrdev()
{
	registry().nodes.clear();
	registry().classes.clear();
	registry().regions.clear();
}

std::vector<std::string> chrdev_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const Region &r : registry().regions)
		if (r.fops && r.fops->owner == mod)
			held.push_back("character device \"" + r.name + "\" (major " +
				       std::to_string(r.major) + ")");
	return held;
}

std::vector<std::string> classes_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const Class &c : registry().classes)
		if (c.cls->owner == mod)
			held.push_back("class \"" + c.name + "\"");
	return held;
}

const struct file_operations *chrdev_fops(dev_t devt)
{
	for (const Region &r : registry().regions)
		if (overlaps(r, MAJOR(devt), MINOR(devt), 1))
			return r.fops;
	return nullptr;
}

bool node_exists(const std::string &name)
{
	return registry().nodes.count(name) != 0;
}

dev_t node_devt(const std::string &name)
{
	auto it = registry().nodes.find(name);
	return it == registry().nodes.end() ? 0 : it->second.dev->devt;
}

std::vector<std::string> node_names()
{
	std::vector<std::string> names;
	for (const auto &entry : registry().nodes)
		names.push_back(entry.first);
	return names;
}

}  // namespace ksim::detail

using namespace ksim::detail;

extern "C" {

int __register_chrdev(unsigned int major, unsigned int baseminor,
		      unsigned int count, const char *name,
		      const struct file_operations *fops)
{
	if (int error = ksim_fault("register_chrdev"))
		return error;
	if (major == 0) {
		for (major = max_major; major > 0 && major_in_use(major); major--)
			;
		if (major == 0)
			return -EBUSY;
	}
	for (const Region &r : registry().regions)
		if (overlaps(r, major, baseminor, count))
			return -EBUSY;
	registry().regions.push_back({major, baseminor, count, name, fops});
	trace(std::string("register_chrdev ") + name);
	return static_cast<int>(major);
}

void __unregister_chrdev(unsigned int major, unsigned int baseminor,
			 unsigned int count, const char *name)
{
	auto &regions = registry().regions;
	for (auto it = regions.begin(); it != regions.end(); ++it) {
		if (it->major == major && it->baseminor == baseminor &&
		    it->count == count) {
			trace("unregister_chrdev " + it->name);
			regions.erase(it);
			return;
		}
	}
	ksim::violations::report("__unregister_chrdev of \"" + std::string(name) +
				 "\": no region at major " + std::to_string(major));
}

struct ksim_class *__class_create(struct module *owner, const char *name,
				  struct lock_class_key *)
{
	if (int error = ksim_fault("class_create"))
		return static_cast<ksim_class *>(ERR_PTR(error));
	for (const Class &c : registry().classes)
		if (c.name == name)
			return static_cast<ksim_class *>(ERR_PTR(-EEXIST));
	auto cls = std::make_unique<ksim_class>();
	cls->owner = owner;
	ksim_class *created = cls.get();
	registry().classes.push_back({std::move(cls), name});
	created->name = registry().classes.back().name.c_str();
	trace(std::string("class_create ") + name);
	return created;
}

void class_destroy(struct ksim_class *cls)
{
	if (!cls || IS_ERR(cls))
		return;
	Class *c = find_class(cls);
	if (!c) {
		ksim::violations::report("class_destroy of a class that does not exist");
		return;
	}
	for (const auto &entry : registry().nodes)
		if (entry.second.dev->ksim_class == cls)
			ksim::violations::report("class \"" + c->name +
						 "\" destroyed while device \"" +
						 entry.first + "\" is in it");
	trace("class_destroy " + c->name);
	registry().classes.remove_if([cls](const Class &k) { return k.cls.get() == cls; });
}

struct device *device_create(struct ksim_class *cls, struct device *parent,
			     dev_t devt, void *drvdata, const char *fmt, ...)
{
	if (!cls || IS_ERR(cls))
		return static_cast<device *>(ERR_PTR(-ENODEV));
	if (!find_class(cls)) {
		ksim::violations::report("device_create in a class that does not exist");
		return static_cast<device *>(ERR_PTR(-ENODEV));
	}
	if (int error = ksim_fault("device_create"))
		return static_cast<device *>(ERR_PTR(error));
	va_list args;
	va_start(args, fmt);
	std::string name = format(fmt, args);
	va_end(args);
	if (node_exists(name))
		return static_cast<device *>(ERR_PTR(-EEXIST));
	auto dev = std::make_unique<device>();
	dev->parent = parent;
	dev->devt = devt;
	dev->driver_data = drvdata;
	dev->ksim_class = cls;
	struct device *created = dev.get();
	Node &node = registry().nodes[name];
	node.dev = std::move(dev);
	node.name = name;
	created->init_name = node.name.c_str();
	trace("device_create " + name);
	return created;
}

void device_destroy(struct ksim_class *cls, dev_t devt)
{
	auto &nodes = registry().nodes;
	for (auto it = nodes.begin(); it != nodes.end(); ++it) {
		if (it->second.dev->ksim_class == cls && it->second.dev->devt == devt) {
			trace("device_destroy " + it->first);
			nodes.erase(it);
			return;
		}
	}
}

const char *dev_name(const struct device *dev)
{
	return dev->init_name ? dev->init_name : "";
}

}  // extern "C"
