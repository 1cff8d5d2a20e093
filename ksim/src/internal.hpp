// What the subsystems of the model need of one another.
#pragma once

#include <linux/types.h>

#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

#include <ksim/runtime.h>

#include "ksim/model.hpp"

struct module;
struct device;
struct device_driver;
struct of_device_id;
struct mutex;

namespace ksim::detail {

void reset_time();
void reset_files();
void reset_devices();
void reset_i2c();
void reset_gpio();
void reset_pwm();
void reset_irqs();
void reset_user();
void reset_sysfs();
void reset_hwmon();
void reset_iio();
void reset_input();
void reset_workqueue();

unsigned long current_jiffies();

// The module whose code runs (init, exit, probe, remove): what that code
// acquires without naming an owner is charged to it. Null for a test.
const struct module *running_module();
class ModuleScope {
public:
	explicit ModuleScope(const struct module *mod);
	~ModuleScope();
	ModuleScope(const ModuleScope &) = delete;
	ModuleScope &operator=(const ModuleScope &) = delete;

private:
	const struct module *previous_;
};
bool module_get(struct module *mod);
void module_put(struct module *mod);

// What a module still holds; unload and a failed init must leave nothing.
std::vector<std::string> chrdevs_held_by(const struct module *mod);
std::vector<std::string> drivers_held_by(const struct module *mod);
std::vector<std::string> irqs_held_by(const struct module *mod);
std::vector<std::string> timers_armed_by(const struct module *mod);
std::vector<std::string> sysfs_dirs_held_by(const struct module *mod);

// Kernel code returning to its caller (user space, a bus, the loader)
// must leave interrupts on and no mutex held.
int mutexes_held();
const std::vector<const struct mutex *> &held_mutexes();
void check_return(const char *from, int mutexes_before);

// Interrupts raised and timers due while they could not run: run them once
// interrupts are on again (hard interrupts first, then timers).
void run_pending_interrupts();
void run_waiting_timers();
void run_pending_work();

void event(const char *kind, std::string text);
__attribute__((format(printf, 1, 2))) std::string format(const char *fmt, ...);
std::string vformat(const char *fmt, va_list args);

// The device tree: what a test declared for a node, and OF matching.
const dt::Node *node_of(const struct device_node *np);
struct device_node *add_node(const dt::Node &decl);
bool of_matches(const struct of_device_id *ids, const struct device *dev);

// The driver core, shared by every bus: devices bind to drivers as either
// comes, probe and remove run in the driver's module, and device-managed
// actions run after remove, a failed probe or the device's deletion.
void device_add(struct device *dev);
void device_del(struct device *dev);
int driver_register(const char *call, struct device_driver *drv);
void driver_unregister(const char *call, struct device_driver *drv);
void devres_add(struct device *dev, void (*action)(void *), void *data);

}  // namespace ksim::detail

namespace ksim::detail {

// Attribute folders under /sys (kernfs): a read runs the file's show; a
// removal waits for the reads in progress, as kernfs drains them.
struct SysfsFile {
	std::string name;
	std::function<ssize_t(char *page)> show;
};
void sysfs_add(const std::string &folder, std::vector<SysfsFile> files);
void sysfs_remove(const std::string &folder);
// The lowest PREFIXn not taken under PARENT, as the ida the class uses.
std::string sysfs_free_name(const std::string &parent, const std::string &prefix);
// A mutex taken: remembered against the folder whose read takes it.
void sysfs_note_lock(const struct mutex *lock);

}  // namespace ksim::detail
