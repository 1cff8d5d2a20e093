// The DHT11's side of the single-wire exchange, scheduled on the virtual
// clock as the host's start signal ends.
#include "ksim/hw/dht11.hpp"

#include <algorithm>
#include <stdexcept>

namespace ksim::hw {
namespace {

constexpr unsigned record_bits = 40;

}  // namespace

Dht11::Dht11(gpio::Line &line) : line_(line)
{
	watch_id_ = line_.watch([this](int level) { on_level(level); });
	line_.set_pull(gpio::Pull::up);
}

Dht11::~Dht11()
{
	abort();
	line_.unwatch(watch_id_);
	line_.device_drive(std::nullopt);
}

Dht11::Record Dht11::reading(std::uint8_t humidity, std::uint8_t humidity_tenths,
			     std::uint8_t temperature, std::uint8_t temperature_tenths)
{
	auto checksum = static_cast<std::uint8_t>(humidity + humidity_tenths +
						  temperature + temperature_tenths);
	return {humidity, humidity_tenths, temperature, temperature_tenths, checksum};
}

void Dht11::set_wake_up(time::Nanoseconds wake_up)
{
	if (wake_up < min_wake_up || wake_up > max_wake_up)
		throw std::out_of_range("a DHT11 wakes up 20 to 40 us after the release");
	wake_up_ = wake_up;
}

void Dht11::set_rest(time::Nanoseconds rest)
{
	if (rest > max_rest)
		throw std::out_of_range("a DHT11 rests at most 2 s");
	rest_ = rest;
}

void Dht11::set_stuck_low(bool stuck)
{
	// A start signal released while it held the line went unheard.
	if (!line_.is_output())
		handled_starts_ = line_.host_low_starts();
	stuck_low_ = stuck;
	abort();
	line_.device_drive(stuck ? std::optional<int>(0) : std::nullopt);
}

void Dht11::clear_faults()
{
	absent_ = false;
	stop_after_.reset();
	jitter_ = 0;
	set_stuck_low(false);
}

// A low the host drives is a start signal and cuts any answer short; the
// release that ends it is answered if the host held the line long enough,
// having begun once the sensor had rested.
void Dht11::on_level(int level)
{
	if (level == 0 && line_.is_output()) {
		abort();
		return;
	}
	if (level == 1 && !line_.is_output() && line_.host_low_starts() != handled_starts_) {
		handled_starts_ = line_.host_low_starts();
		time::Nanoseconds held = time::now() - line_.host_low_started();
		if (absent_ || stuck_low_)
			return;
		if (held < min_start) {
			short_starts_++;
			return;
		}
		if (line_.host_low_started() < rested_at())
			return;
		answer();
	}
}

void Dht11::answer()
{
	answers_++;
	unsigned bits = stop_after_ ? std::min(*stop_after_, record_bits) : record_bits;
	time::Nanoseconds t = time::now() + std::clamp(vary(wake_up_), min_wake_up, max_wake_up);
	drive_at(t, 0);
	t += vary(response_low);
	drive_at(t, std::nullopt);
	t += vary(response_high);
	for (unsigned bit = 0; bit < bits; bit++) {
		bool one = record_[bit / 8] & (0x80 >> (bit % 8));
		drive_at(t, 0);
		t += vary(bit_low);
		drive_at(t, std::nullopt);
		t += vary(one ? one_high : zero_high);
	}
	if (bits < record_bits) {
		if (stop_holds_low_)
			drive_at(t, 0);
	} else {
		drive_at(t, 0);
		t += vary(end_low);
		drive_at(t, std::nullopt);
	}
	answer_end_ = t;
}

time::Nanoseconds Dht11::vary(time::Nanoseconds nominal)
{
	if (jitter_ == 0)
		return nominal;
	std::uniform_int_distribution<std::int64_t> offset(
		-static_cast<std::int64_t>(jitter_), static_cast<std::int64_t>(jitter_));
	return static_cast<time::Nanoseconds>(static_cast<std::int64_t>(nominal) +
					      offset(random_));
}

void Dht11::drive_at(time::Nanoseconds when, std::optional<int> level)
{
	scheduled_.push_back(time::at(when, [this, level] {
		line_.device_drive(level);
	}));
}

void Dht11::abort()
{
	for (time::EventId id : scheduled_)
		time::cancel(id);
	scheduled_.clear();
	if (!stuck_low_)
		line_.device_drive(std::nullopt);
}

}  // namespace ksim::hw
