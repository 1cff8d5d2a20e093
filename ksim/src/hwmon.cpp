// The hwmon class of 4.1: a numbered device under /sys/class/hwmon with
// the driver's attribute groups and, when given, a "name" file.
#include <linux/hwmon.h>

#include <cstring>
#include <list>

#include "internal.hpp"

namespace ksim {
namespace {

struct Hwmon {
	std::string path, name, device_name;
	struct device dev = {};
};

std::list<Hwmon> &devices()
{
	static std::list<Hwmon> d;
	return d;
}

constexpr const char *hwmon_class = "/sys/class/hwmon";

std::vector<detail::SysfsFile> files_of(Hwmon &hw, const struct attribute_group **groups)
{
	std::vector<detail::SysfsFile> files;
	if (!hw.name.empty())
		files.push_back({"name", [&hw](char *page) {
					 return static_cast<ssize_t>(
						 std::sprintf(page, "%s\n", hw.name.c_str()));
				 }});
	for (; groups && *groups; groups++) {
		for (struct attribute **attr = (*groups)->attrs; *attr; attr++) {
			auto *da = container_of(*attr, struct device_attribute, attr);
			files.push_back({(*attr)->name, [&hw, da](char *page) {
						 return da->show(&hw.dev, da, page);
					 }});
		}
	}
	return files;
}

void unregister_managed(void *dev) { hwmon_device_unregister(static_cast<struct device *>(dev)); }

}  // namespace

void detail::reset_hwmon() { devices().clear(); }

}  // namespace ksim

extern "C" {

struct device *hwmon_device_register_with_groups(struct device *dev, const char *name,
						 void *drvdata,
						 const struct attribute_group **groups)
{
	ksim_might_sleep(__func__);
	// 4.1 refuses names that libsensors cannot parse.
	if (name && (!std::strlen(name) || std::strpbrk(name, "-* \t\n")))
		return static_cast<struct device *>(ERR_PTR(-EINVAL));
	using namespace ksim;
	Hwmon &hw = devices().emplace_back();
	hw.device_name = detail::sysfs_free_name(hwmon_class, "hwmon");
	hw.path = std::string(hwmon_class) + "/" + hw.device_name;
	hw.name = name ? name : "";
	hw.dev.init_name = hw.device_name.c_str();
	hw.dev.parent = dev;
	hw.dev.driver_data = drvdata;
	detail::sysfs_add(hw.path, files_of(hw, groups));
	return &hw.dev;
}

struct device *devm_hwmon_device_register_with_groups(struct device *dev, const char *name,
						      void *drvdata,
						      const struct attribute_group **groups)
{
	struct device *hwdev = hwmon_device_register_with_groups(dev, name, drvdata, groups);
	if (!IS_ERR(hwdev))
		ksim::detail::devres_add(dev, ksim::unregister_managed, hwdev);
	return hwdev;
}

void hwmon_device_unregister(struct device *dev)
{
	ksim_might_sleep(__func__);
	auto &all = ksim::devices();
	for (auto it = all.begin(); it != all.end(); ++it) {
		if (&it->dev == dev) {
			ksim::detail::sysfs_remove(it->path);
			all.erase(it);
			return;
		}
	}
	ksim::violations::report("hwmon_device_unregister of a device hwmon does not have");
}

}  // extern "C"
