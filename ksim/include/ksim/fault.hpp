// Fault injection: a named switch per call site of the model.
#pragma once

#include <string>

namespace ksim::fault {

// Sites: "register_chrdev", "class_create", "device_create",
// "platform_driver_register", "of_get_named_gpio_flags", "of_pwm_get",
// "pwm_config", "pwm_set_polarity", "pwm_enable".
// The call after `skip` successful ones fails with `error`, `times` times.
void inject(const std::string &site, int error, unsigned skip = 0,
	    unsigned times = 1);
// How often the site was reached since reset.
unsigned calls(const std::string &site);

}  // namespace ksim::fault
