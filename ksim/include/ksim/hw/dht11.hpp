// A DHT11 temperature and humidity sensor on one GPIO line: it answers a
// host start signal (line low for at least 18 ms, then released) with its
// response and 40 data bits, most significant bit first, then lets go and
// rests, hearing no start signal begun before its rest is over.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "ksim/model.hpp"

namespace ksim::hw {

class Dht11 {
public:
	using Record = std::array<std::uint8_t, 5>;

	// Datasheet timing of the sensor's side of the exchange.
	static constexpr time::Nanoseconds min_start = time::ms(18);
	static constexpr time::Nanoseconds min_wake_up = time::us(20);
	static constexpr time::Nanoseconds max_wake_up = time::us(40);
	static constexpr time::Nanoseconds default_wake_up = time::us(30);
	static constexpr time::Nanoseconds default_rest = time::ms(1000);
	static constexpr time::Nanoseconds max_rest = time::ms(2000);
	static constexpr time::Nanoseconds response_low = time::us(80);
	static constexpr time::Nanoseconds response_high = time::us(80);
	static constexpr time::Nanoseconds bit_low = time::us(50);
	static constexpr time::Nanoseconds zero_high = time::us(27);
	static constexpr time::Nanoseconds one_high = time::us(70);
	static constexpr time::Nanoseconds end_low = time::us(50);

	// Attaches to the line and pulls it up, as the sensor module's resistor.
	explicit Dht11(gpio::Line &line);
	~Dht11();
	Dht11(const Dht11 &) = delete;
	Dht11 &operator=(const Dht11 &) = delete;

	// A record whose last byte is the checksum of the first four.
	static Record reading(std::uint8_t humidity, std::uint8_t humidity_tenths,
			      std::uint8_t temperature, std::uint8_t temperature_tenths);
	void set_record(const Record &record) { record_ = record; }

	// Its timing: how long after the host's release it answers (20 to
	// 40 us), and how long it rests after an answer (up to 2 s; 0 for
	// benchmarks). Out of those ranges: std::out_of_range.
	void set_wake_up(time::Nanoseconds wake_up);
	void set_rest(time::Nanoseconds rest);
	// When it hears a start signal again: its last answer's end plus its
	// rest, or 0 before any answer.
	time::Nanoseconds rested_at() const { return answers_ ? answer_end_ + rest_ : 0; }

	// Faults. An absent sensor never answers (the line stays pulled up); a
	// stuck one holds the line low; one that stops after some bits lets the
	// line go high, or holds it low, until the faults are cleared.
	void set_absent(bool absent) { absent_ = absent; }
	void set_stuck_low(bool stuck);
	void stop_after(unsigned bits, bool hold_low = false)
	{
		stop_after_ = bits;
		stop_holds_low_ = hold_low;
	}
	// Each phase of an answer varies by up to +-max_ns (seeded, repeatable),
	// the wake-up within its 20 to 40 us.
	void set_jitter(time::Nanoseconds max_ns, unsigned seed = 1)
	{
		jitter_ = max_ns;
		random_.seed(seed);
	}
	void clear_faults();

	// Start signals answered, and those too short to answer.
	unsigned answers() const { return answers_; }
	unsigned short_starts() const { return short_starts_; }

private:
	void on_level(int level);
	void answer();
	time::Nanoseconds vary(time::Nanoseconds nominal);
	void drive_at(time::Nanoseconds when, std::optional<int> level);
	void abort();

	gpio::Line &line_;
	int watch_id_;
	Record record_{};
	time::Nanoseconds wake_up_ = default_wake_up;
	time::Nanoseconds rest_ = default_rest;
	time::Nanoseconds answer_end_ = 0;
	bool absent_ = false;
	bool stuck_low_ = false;
	std::optional<unsigned> stop_after_;
	bool stop_holds_low_ = false;
	time::Nanoseconds jitter_ = 0;
	std::mt19937 random_;
	unsigned handled_starts_ = 0;
	std::vector<time::EventId> scheduled_;
	unsigned answers_ = 0;
	unsigned short_starts_ = 0;
};

}  // namespace ksim::hw
