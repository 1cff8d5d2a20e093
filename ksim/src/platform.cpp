// Device-tree nodes, the platform bus and device-managed resources.
#include "ksim/devicetree.hpp"

#include <linux/device.h>
#include <linux/module.h>
#include <linux/of.h>
#include <linux/of_gpio.h>
#include <linux/platform_device.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <memory>

#include "ksim/context.hpp"
#include "ksim/gpio.hpp"
#include "internal.hpp"

namespace ksim::platform {
namespace {

struct Devres {
	void (*action)(void *);
	void *data;
};

struct Entry {
	dt::Node decl;
	std::string full_name;
	std::unique_ptr<device_node> node;
	std::unique_ptr<platform_device> pdev;
	platform_driver *driver = nullptr;
	int last_probe = 0;
	std::vector<Devres> devres;
};

struct Bus {
	std::list<Entry> devices;
	std::vector<platform_driver *> drivers;
};

Bus &bus()
{
	static Bus b;
	return b;
}

struct bus_type platform_bus_type = {"platform"};

Entry *entry_of(const std::string &name)
{
	for (Entry &e : bus().devices)
		if (e.decl.name == name)
			return &e;
	return nullptr;
}

Entry *entry_of(const struct device *dev)
{
	for (Entry &e : bus().devices)
		if (&e.pdev->dev == dev)
			return &e;
	return nullptr;
}

Entry *entry_of(const device_node *np)
{
	if (!np)
		return nullptr;
	for (Entry &e : bus().devices)
		if (e.node.get() == np)
			return &e;
	return nullptr;
}

bool matches(const platform_driver *drv, const Entry &e)
{
	if (of_match_node(drv->driver.of_match_table, e.node.get()))
		return true;
	return drv->driver.name && e.decl.name == drv->driver.name;
}

void release_devres(Entry &e)
{
	while (!e.devres.empty()) {
		Devres res = e.devres.back();
		e.devres.pop_back();
		res.action(res.data);
	}
}

int probe(Entry &e, platform_driver *drv)
{
	detail::trace(std::string("probe ") + drv->driver.name + " " + e.decl.name);
	e.pdev->dev.driver = &drv->driver;
	int before = detail::mutexes_held();
	int result = 0;
	if (drv->probe) {
		detail::ModuleScope scope(drv->driver.owner);
		result = drv->probe(e.pdev.get());
	}
	detail::check_return("probe", before);
	e.last_probe = result;
	if (result == 0) {
		e.driver = drv;
		return 0;
	}
	e.pdev->dev.driver = nullptr;
	e.pdev->dev.driver_data = nullptr;
	release_devres(e);
	detail::report_failed_probe(&drv->driver, e.decl.name.c_str(), result);
	return result;
}

void remove(Entry &e)
{
	platform_driver *drv = e.driver;
	if (!drv)
		return;
	detail::trace(std::string("remove ") + drv->driver.name + " " + e.decl.name);
	if (drv->remove) {
		int before = detail::mutexes_held();
		detail::ModuleScope scope(drv->driver.owner);
		drv->remove(e.pdev.get());
		detail::check_return("remove", before);
	}
	release_devres(e);
	e.driver = nullptr;
	e.pdev->dev.driver = nullptr;
	e.pdev->dev.driver_data = nullptr;
}

int attach(Entry &e)
{
	for (platform_driver *drv : bus().drivers)
		if (matches(drv, e))
			return probe(e, drv);
	return -ENODEV;
}

// A new device on the bus, bound at once when a registered driver matches.
Entry &add_device(const dt::Node &decl, bool with_node)
{
	bus().devices.emplace_back();
	Entry &e = bus().devices.back();
	e.decl = decl;
	e.pdev = std::make_unique<platform_device>();
	e.pdev->name = e.decl.name.c_str();
	e.pdev->id = -1;
	e.pdev->dev.init_name = e.decl.name.c_str();
	e.pdev->dev.bus = &platform_bus_type;
	if (with_node) {
		e.full_name = "/" + decl.name;
		e.node = std::make_unique<device_node>();
		e.node->name = e.decl.name.c_str();
		e.node->full_name = e.full_name.c_str();
		e.pdev->dev.of_node = e.node.get();
	}
	attach(e);
	return e;
}

}  // namespace

struct platform_device *add(const std::string &name)
{
	return add_device({name, {}, {}, {}}, false).pdev.get();
}

struct platform_device *device(const std::string &name)
{
	Entry *e = entry_of(name);
	return e ? e->pdev.get() : nullptr;
}

bool bound(const std::string &name)
{
	Entry *e = entry_of(name);
	return e && e->driver;
}

std::string driver(const std::string &name)
{
	Entry *e = entry_of(name);
	return e && e->driver ? e->driver->driver.name : "";
}

int last_probe_result(const std::string &name)
{
	Entry *e = entry_of(name);
	return e ? e->last_probe : -ENODEV;
}

void unbind(const std::string &name)
{
	if (Entry *e = entry_of(name))
		remove(*e);
}

int bind(const std::string &name)
{
	Entry *e = entry_of(name);
	if (!e)
		return -ENODEV;
	if (e->driver)
		return -EBUSY;
	return attach(*e);
}

}  // namespace ksim::platform

namespace ksim::dt {

struct device_node *add(const Node &decl)
{
	return ksim::platform::add_device(decl, true).node.get();
}

void remove(const std::string &name)
{
	using namespace ksim::platform;
	Entry *e = entry_of(name);
	if (!e)
		return;
	platform::remove(*e);
	bus().devices.remove_if([e](const Entry &other) { return &other == e; });
}

}  // namespace ksim::dt

namespace ksim::detail {

void reset_platform()
{
	platform::bus() = platform::Bus{};
}

std::vector<std::string> drivers_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const platform_driver *drv : platform::bus().drivers)
		if (drv->driver.owner == mod)
			held.push_back(std::string("platform driver \"") +
				       drv->driver.name + "\"");
	return held;
}

}  // namespace ksim::detail

using namespace ksim::platform;

extern "C" {

int __platform_driver_register(struct platform_driver *drv, struct module *owner)
{
	if (int error = ksim_fault("platform_driver_register"))
		return error;
	auto &drivers = bus().drivers;
	for (const platform_driver *other : drivers)
		if (int error = ksim::detail::refuse_taken_name(&other->driver,
								 &drv->driver))
			return error;
	drv->driver.owner = owner;
	drv->driver.bus = &platform_bus_type;
	drivers.push_back(drv);
	ksim::detail::trace(std::string("platform_driver_register ") + drv->driver.name);
	for (Entry &e : bus().devices)
		if (!e.driver && matches(drv, e))
			probe(e, drv);
	return 0;
}

void platform_driver_unregister(struct platform_driver *drv)
{
	auto &drivers = bus().drivers;
	auto it = std::find(drivers.begin(), drivers.end(), drv);
	if (it == drivers.end()) {
		ksim::violations::report(std::string("platform_driver_unregister of \"") +
					 drv->driver.name + "\", never registered");
		return;
	}
	ksim::detail::trace(std::string("platform_driver_unregister ") + drv->driver.name);
	for (Entry &e : bus().devices)
		if (e.driver == drv)
			ksim::platform::remove(e);
	drivers.erase(it);
}

int devm_add_action(struct device *dev, void (*action)(void *), void *data)
{
	Entry *e = entry_of(dev);
	if (!e) {
		ksim::violations::report("devm_add_action on a device without resources");
		return -EINVAL;
	}
	e->devres.push_back({action, data});
	return 0;
}

int of_device_is_compatible(const struct device_node *np, const char *compat)
{
	Entry *e = entry_of(np);
	if (!e)
		return 0;
	const auto &list = e->decl.compatible;
	return std::find(list.begin(), list.end(), compat) != list.end();
}

const struct of_device_id *of_match_node(const struct of_device_id *matches,
					 const struct device_node *node)
{
	if (!matches || !node)
		return nullptr;
	for (; matches->name[0] || matches->type[0] || matches->compatible[0]; matches++)
		if (matches->compatible[0] &&
		    of_device_is_compatible(node, matches->compatible))
			return matches;
	return nullptr;
}

bool of_property_read_bool(const struct device_node *np, const char *propname)
{
	Entry *e = entry_of(np);
	return e && e->decl.cells.count(propname) != 0;
}

int of_property_read_u32(const struct device_node *np, const char *propname,
			 u32 *out_value)
{
	Entry *e = entry_of(np);
	if (!e)
		return -EINVAL;
	auto it = e->decl.cells.find(propname);
	if (it == e->decl.cells.end())
		return -EINVAL;
	if (it->second.empty())
		return -ENODATA;
	*out_value = it->second.front();
	return 0;
}

int of_get_named_gpio_flags(struct device_node *np, const char *list_name,
			    int index, enum of_gpio_flags *flags)
{
	if (flags)
		*flags = static_cast<of_gpio_flags>(0);
	if (int error = ksim_fault("of_get_named_gpio_flags"))
		return error;
	Entry *e = entry_of(np);
	if (!e || std::strcmp(list_name, "gpios") != 0 || index < 0 ||
	    static_cast<std::size_t>(index) >= e->decl.gpios.size())
		return -ENOENT;
	const ksim::dt::GpioRef &ref = e->decl.gpios[static_cast<std::size_t>(index)];
	// No chip serves the line (yet): the kernel asks to probe again later.
	if (ref.gpio >= ksim::gpio::line_count)
		return -EPROBE_DEFER;
	if (flags)
		*flags = static_cast<of_gpio_flags>(ref.flags);
	return static_cast<int>(ref.gpio);
}

}  // extern "C"
