// The PIR sensor's output stage: whatever the test scripts, driven onto
// the line at the scripted virtual time.
#include "ksim/hw/pir.hpp"

namespace ksim::hw {

Pir::Pir(unsigned gpio) : gpio_(gpio)
{
	gpio::line(gpio_).device_drive(output_);
}

Pir::~Pir()
{
	for (time::EventId id : scheduled_)
		time::cancel(id);
	gpio::line(gpio_).device_drive(std::nullopt);
}

void Pir::set(int level)
{
	level = level ? 1 : 0;
	if (level != output_)
		edges_++;
	output_ = level;
	gpio::line(gpio_).device_drive(output_);
}

void Pir::set_at(time::Nanoseconds when, int level)
{
	scheduled_.push_back(time::at(when, [this, level] { set(level); }));
}

void Pir::burst(time::Nanoseconds start, int first, unsigned count,
		time::Nanoseconds period)
{
	for (unsigned i = 0; i < count; i++)
		set_at(start + i * period, (i % 2 == 0) == (first != 0));
}

void Pir::bounce(time::Nanoseconds start, int level, unsigned bounces,
		 time::Nanoseconds period)
{
	burst(start, level, 2 * bounces + 1, period);
}

}  // namespace ksim::hw
