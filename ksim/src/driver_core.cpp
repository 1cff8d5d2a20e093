// What the driver core does alike for every bus.
#include <linux/device.h>
#include <linux/errno.h>
#include <linux/printk.h>

#include <cstring>

#include "internal.hpp"

namespace ksim::detail {

int refuse_taken_name(const struct device_driver *registered,
		      const struct device_driver *drv)
{
	if (registered != drv && std::strcmp(registered->name, drv->name) != 0)
		return 0;
	pr_err("Error: Driver '%s' is already registered, aborting...\n", drv->name);
	return -EBUSY;
}

void report_failed_probe(const struct device_driver *drv, const char *device,
			 int result)
{
	// A deferral is logged at debug level only, which the log leaves out.
	if (result != -ENODEV && result != -ENXIO && result != -EPROBE_DEFER)
		pr_warn("%s: probe of %s failed with error %d\n", drv->name, device,
			result);
}

}  // namespace ksim::detail
