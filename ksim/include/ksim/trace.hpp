// What kernel code registered and released, in order, for tests of load,
// unload and unwinding order.
#pragma once

#include <string>
#include <vector>

namespace ksim::trace {

// Successful registrations and releases: "register_chrdev NAME",
// "class_create NAME", "device_create NAME", "platform_driver_register NAME"
// and their "unregister_chrdev", "class_destroy", "device_destroy",
// "platform_driver_unregister"; and every probe and remove the platform bus
// runs: "probe DRIVER DEVICE", "remove DRIVER DEVICE".
const std::vector<std::string> &calls();
void clear();

}  // namespace ksim::trace
