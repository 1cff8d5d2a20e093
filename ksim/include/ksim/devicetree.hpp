// Device-tree nodes declared by tests, and the platform bus that binds
// drivers to them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct device_node;
struct platform_device;

namespace ksim::dt {

struct GpioRef {
	unsigned gpio;       // global line number
	std::uint32_t flags; // OF_GPIO_* bits
};

struct Node {
	std::string name;
	std::vector<std::string> compatible;
	std::vector<GpioRef> gpios;
	// Other properties as cells, for bindings still to come.
	std::map<std::string, std::vector<std::uint32_t>> cells;
};

// Adds the node and its platform device, which binds at once when a
// registered driver matches.
struct device_node *add(const Node &node);
// Unbinds and deletes the node's device.
void remove(const std::string &name);

}  // namespace ksim::dt

namespace ksim::platform {

// A device without a device-tree node, as board code registers one; it
// binds to the driver of the same name. dt::remove(name) deletes it.
struct platform_device *add(const std::string &name);

struct platform_device *device(const std::string &name);
bool bound(const std::string &name);
// Name of the bound driver, or "" when unbound.
std::string driver(const std::string &name);
// What the last probe of the device returned.
int last_probe_result(const std::string &name);
// Manual unbind and bind, as through the driver's sysfs files.
void unbind(const std::string &name);
int bind(const std::string &name);

}  // namespace ksim::platform
