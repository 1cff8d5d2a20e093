// The driver core every bus shares, the device tree and the platform bus.
#include <linux/device.h>
#include <linux/of.h>
#include <linux/of_gpio.h>
#include <linux/platform_device.h>

#include <algorithm>
#include <cstring>
#include <list>

#include "internal.hpp"

namespace ksim {
namespace {

struct Device {
	struct device *dev;
	int last_probe;
	// Device-managed actions, run last first.
	std::vector<std::pair<void (*)(void *), void *>> devres;
};

struct DtNode {
	dt::Node decl;
	std::string full_name;
	device_node np;
};

struct PlatformDevice {
	std::string name;
	platform_device pdev;
};

struct State {
	std::list<Device> devices;
	std::vector<struct device_driver *> drivers;
	std::list<DtNode> nodes;
	std::list<PlatformDevice> platform_devices;
};

State &state()
{
	static State s;
	return s;
}

Device *find(const std::string &name)
{
	for (Device &d : state().devices)
		if (name == d.dev->init_name)
			return &d;
	return nullptr;
}

void release_devres(Device &d)
{
	for (; !d.devres.empty(); d.devres.pop_back())
		d.devres.back().first(d.devres.back().second);
}

// Bus callbacks run in the driver's module and return to the core.
int call_bus(int (*callback)(struct device *), struct device *dev, const char *what)
{
	const int before = detail::mutexes_held();
	detail::ModuleScope scope(dev->driver->owner);
	const int result = callback(dev);
	detail::check_return(what, before);
	return result;
}

// As 4.1's really_probe: a failed probe releases what it acquired, and is
// logged unless the driver only declined or asked to be tried later.
int probe(Device &d, struct device_driver *drv)
{
	struct device *dev = d.dev;
	detail::event("core", std::string("probe ") + drv->name + " " + dev->init_name);
	dev->driver = drv;
	d.last_probe = call_bus(dev->bus->probe, dev, "probe");
	if (d.last_probe == 0)
		return 0;
	release_devres(d);
	dev->driver = nullptr;
	if (d.last_probe != -ENODEV && d.last_probe != -ENXIO && d.last_probe != -EPROBE_DEFER)
		printk(KERN_WARNING "%s: probe of %s failed with error %d\n", drv->name,
		       dev->init_name, d.last_probe);
	return d.last_probe;
}

void release(Device &d, const std::function<void()> &after_remove = {})
{
	struct device *dev = d.dev;
	if (!dev->driver)
		return;
	detail::event("core", std::string("remove ") + dev->driver->name + " " + dev->init_name);
	call_bus(dev->bus->remove, dev, "remove");
	if (after_remove)
		after_remove();
	release_devres(d);
	dev->driver = nullptr;
}

int attach(Device &d)
{
	for (struct device_driver *drv : state().drivers)
		if (drv->bus == d.dev->bus && d.dev->bus->match(d.dev, drv))
			return probe(d, drv);
	return -ENODEV;
}

// Platform devices match by OF compatible, else by name.
platform_device *to_pdev(struct device *dev)
{
	return container_of(dev, struct platform_device, dev);
}

platform_driver *to_pdrv(struct device_driver *drv)
{
	return container_of(drv, struct platform_driver, driver);
}

int platform_match(struct device *dev, struct device_driver *drv)
{
	return detail::of_matches(drv->of_match_table, dev) ||
	       !std::strcmp(to_pdev(dev)->name, drv->name);
}

int platform_probe(struct device *dev)
{
	platform_driver *drv = to_pdrv(dev->driver);
	return drv->probe ? drv->probe(to_pdev(dev)) : 0;
}

int platform_remove(struct device *dev)
{
	platform_driver *drv = to_pdrv(dev->driver);
	return drv->remove ? drv->remove(to_pdev(dev)) : 0;
}

struct bus_type platform_bus_type = {"platform", platform_match, platform_probe, platform_remove};

struct device *add_platform_device(const std::string &name, struct device_node *np)
{
	PlatformDevice &p = state().platform_devices.emplace_back();
	p.name = name;
	p.pdev.name = p.pdev.dev.init_name = p.name.c_str();
	p.pdev.dev.bus = &platform_bus_type;
	p.pdev.dev.of_node = np;
	detail::device_add(&p.pdev.dev);
	return &p.pdev.dev;
}

}  // namespace

struct device_node *dt::add(const Node &decl)
{
	struct device_node *np = detail::add_node(decl);
	add_platform_device(decl.name, np);
	return np;
}

void dt::remove(const std::string &name)
{
	auto &devices = state().platform_devices;
	auto it = std::find_if(devices.begin(), devices.end(),
			       [&](const auto &p) { return p.name == name; });
	if (it != devices.end()) {
		detail::device_del(&it->pdev.dev);
		devices.erase(it);
	}
	state().nodes.remove_if([&](const DtNode &n) { return n.decl.name == name; });
}

struct device *platform::add(const std::string &name) { return add_platform_device(name, nullptr); }

struct device *bus::device(const std::string &name)
{
	return find(name) ? find(name)->dev : nullptr;
}

std::string bus::driver(const std::string &name)
{
	struct device *dev = device(name);
	return dev && dev->driver ? dev->driver->name : "";
}

bool bus::bound(const std::string &name) { return !driver(name).empty(); }

int bus::last_probe_result(const std::string &name)
{
	return find(name) ? find(name)->last_probe : -ENODEV;
}

void bus::unbind(const std::string &name)
{
	if (Device *d = find(name))
		release(*d);
}

void bus::unbind(const std::string &name, const std::function<void()> &waiting_reader)
{
	if (Device *d = find(name))
		release(*d, waiting_reader);
}

int bus::bind(const std::string &name)
{
	Device *d = find(name);
	return !d ? -ENODEV : d->dev->driver ? -EBUSY : attach(*d);
}

namespace detail {

void reset_devices() { state() = State{}; }

const dt::Node *node_of(const struct device_node *np)
{
	for (const DtNode &n : state().nodes)
		if (&n.np == np)
			return &n.decl;
	return nullptr;
}

struct device_node *add_node(const dt::Node &decl)
{
	DtNode &n = state().nodes.emplace_back();
	n.decl = decl;
	n.full_name = "/" + decl.name;
	n.np = {n.decl.name.c_str(), n.full_name.c_str()};
	return &n.np;
}

bool of_matches(const struct of_device_id *ids, const struct device *dev)
{
	const dt::Node *node = node_of(dev->of_node);
	for (; node && ids && (ids->name[0] || ids->type[0] || ids->compatible[0]); ids++)
		if (std::count(node->compatible.begin(), node->compatible.end(), ids->compatible))
			return true;
	return false;
}

void device_add(struct device *dev) { attach(state().devices.emplace_back(Device{dev, 0, {}})); }

// What a device still holds goes with it, bound or not.
void device_del(struct device *dev)
{
	for (auto it = state().devices.begin(); it != state().devices.end(); ++it) {
		if (it->dev == dev) {
			release(*it);
			release_devres(*it);
			state().devices.erase(it);
			return;
		}
	}
}

int driver_register(const char *call, struct device_driver *drv)
{
	if (int error = ksim_fault(call))
		return error;
	for (const struct device_driver *other : state().drivers) {
		if (other->bus == drv->bus && !std::strcmp(other->name, drv->name)) {
			pr_err("Error: Driver '%s' is already registered, aborting...\n",
			       drv->name);
			return -EBUSY;
		}
	}
	state().drivers.push_back(drv);
	event("core", std::string(call) + " " + drv->name);
	for (Device &d : state().devices)
		if (!d.dev->driver && d.dev->bus == drv->bus && drv->bus->match(d.dev, drv))
			probe(d, drv);
	return 0;
}

void driver_unregister(const char *call, struct device_driver *drv)
{
	auto &drivers = state().drivers;
	auto it = std::find(drivers.begin(), drivers.end(), drv);
	if (it == drivers.end()) {
		violations::report(format("%s of \"%s\", never registered", call, drv->name));
		return;
	}
	event("core", std::string(call) + " " + drv->name);
	for (Device &d : state().devices)
		if (d.dev->driver == drv)
			release(d);
	drivers.erase(it);
}

void devres_add(struct device *dev, void (*action)(void *), void *data)
{
	for (Device &d : state().devices) {
		if (d.dev == dev) {
			d.devres.emplace_back(action, data);
			return;
		}
	}
	violations::report("a device-managed resource on a device no bus knows");
}

std::vector<std::string> drivers_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const struct device_driver *drv : state().drivers)
		if (drv->owner == mod)
			held.push_back(format("%s driver \"%s\"", drv->bus->name, drv->name));
	return held;
}

}  // namespace detail
}  // namespace ksim

extern "C" {

int __platform_driver_register(struct platform_driver *drv, struct module *owner)
{
	drv->driver.owner = owner;
	drv->driver.bus = &ksim::platform_bus_type;
	return ksim::detail::driver_register("platform_driver_register", &drv->driver);
}

void platform_driver_unregister(struct platform_driver *drv)
{
	ksim::detail::driver_unregister("platform_driver_unregister", &drv->driver);
}

int of_get_named_gpio_flags(struct device_node *np, const char *list_name, int index,
			    enum of_gpio_flags *flags)
{
	if (flags)
		*flags = static_cast<of_gpio_flags>(0);
	if (int error = ksim_fault("of_get_named_gpio_flags"))
		return error;
	const ksim::dt::Node *node = ksim::detail::node_of(np);
	if (!node || std::strcmp(list_name, "gpios") != 0 || index < 0 ||
	    static_cast<std::size_t>(index) >= node->gpios.size())
		return -ENOENT;
	const ksim::dt::GpioRef &ref = node->gpios[static_cast<std::size_t>(index)];
	// No chip serves the line (yet): the kernel asks to probe again later.
	if (ref.gpio >= ksim::gpio::line_count)
		return -EPROBE_DEFER;
	if (flags)
		*flags = static_cast<of_gpio_flags>(ref.flags);
	return static_cast<int>(ref.gpio);
}

}  // extern "C"
