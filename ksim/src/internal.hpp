// What the subsystems of the model need of one another.
#pragma once

#include <linux/types.h>

#include <cstdarg>
#include <string>
#include <vector>

struct module;
struct file_operations;
struct device_driver;

namespace ksim::detail {

void reset_time();
void reset_context();
void reset_log();
void reset_faults();
void reset_chrdev();
void reset_files();
void reset_user();
void reset_platform();
void reset_i2c();
void reset_gpio();
void reset_mutexes();
void reset_pwm();
void reset_irqs();
void reset_timers();
void reset_fasync();

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

// What a module still holds; unload and a failed init must leave nothing.
std::vector<std::string> chrdev_held_by(const struct module *mod);
std::vector<std::string> irqs_held_by(const struct module *mod);
std::vector<std::string> timers_armed_by(const struct module *mod);
std::vector<std::string> classes_held_by(const struct module *mod);
std::vector<std::string> drivers_held_by(const struct module *mod);
std::vector<std::string> i2c_drivers_held_by(const struct module *mod);

const struct file_operations *chrdev_fops(dev_t devt);
bool node_exists(const std::string &name);
dev_t node_devt(const std::string &name);
std::vector<std::string> node_names();

bool module_get(struct module *mod);
void module_put(struct module *mod);

int mutexes_held();
// Kernel code returning to its caller (user space, the bus, the loader)
// must leave interrupts on and no mutex held.
void check_return(const char *from, int mutexes_before);

bool user_range_mapped(const void *addr, unsigned long size);

// Interrupts raised and timers due while they could not run: run them once
// interrupts are on again (hard interrupts first, then timers).
void run_pending_interrupts();
void run_waiting_timers();

bool on_fasync_list(const struct file *filp);

// The driver core's side of every bus: a driver whose name is already
// registered is refused (-EBUSY, with the core's line), and a failed probe
// is reported as the core does.
int refuse_taken_name(const struct device_driver *registered,
		      const struct device_driver *drv);
void report_failed_probe(const struct device_driver *drv, const char *device,
			 int result);

// vsnprintf into a string, for printk and device names.
std::string format(const char *fmt, va_list args);

// Records a registration call for ksim/trace.hpp.
void trace(const std::string &call);

}  // namespace ksim::detail
