// Back to a fresh boot between tests.
#include "ksim/model.hpp"

#include "ksim/trace.hpp"

#include "internal.hpp"

namespace ksim {

void reset()
{
	modules::unload_all();
	detail::reset_irqs();
	detail::reset_timers();
	detail::reset_files();
	detail::reset_fasync();
	detail::reset_platform();
	detail::reset_i2c();
	detail::reset_chrdev();
	detail::reset_gpio();
	detail::reset_pwm();
	detail::reset_user();
	detail::reset_mutexes();
	detail::reset_faults();
	detail::reset_log();
	trace::clear();
	detail::reset_time();
	detail::reset_context();
}

}  // namespace ksim
