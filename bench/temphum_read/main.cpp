// temphum_drv on the host model: how long a read keeps local interrupts
// off, in virtual time, over random records and on each failure path; and
// how many reads a second of wall-clock time the model carries.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "ksim/hw/dht11.hpp"
#include "ksim/model.hpp"

namespace {

using namespace ksim;
using time::Nanoseconds;

constexpr unsigned sensor_gpio = 17;

struct Span {
	Nanoseconds shortest = ~Nanoseconds{0};
	Nanoseconds longest = 0;
	unsigned failures = 0;

	void add(Nanoseconds window)
	{
		shortest = std::min(shortest, window);
		longest = std::max(longest, window);
	}
};

void boot()
{
	reset();
	dt::add({"dht11", {"hc-dht11"}, {{sensor_gpio, 0}}, {}});
	if (modules::load("temphum_drv") != 0 || !platform::bound("dht11")) {
		std::fprintf(stderr, "temphum_drv did not bind\n");
		std::exit(2);
	}
}

Span measure(hw::Dht11 &sensor, unsigned reads, std::mt19937 &random)
{
	Span span;
	std::uniform_int_distribution<int> byte(0, 255);
	user::Buffer buf(5);
	int fd = fs::open("/dev/dht11");
	for (unsigned i = 0; i < reads; i++) {
		hw::Dht11::Record record;
		for (auto &b : record)
			b = static_cast<std::uint8_t>(byte(random));
		sensor.set_record(record);
		irq::clear_off_windows();
		if (fs::read(fd, buf.data(), 5) != 0)
			span.failures++;
		span.add(irq::longest_off_window());
		// A real reader waits between measurements; the sensor's frame ends.
		time::advance(time::ms(1));
	}
	fs::close(fd);
	return span;
}

double ms_of(Nanoseconds ns)
{
	return static_cast<double>(ns) / 1e6;
}

void print(const char *what, const Span &span, unsigned reads)
{
	std::printf("%-28s %6u reads  %3u failed  interrupts off %.3f to %.3f ms\n", what,
		    reads, span.failures, ms_of(span.shortest), ms_of(span.longest));
}

}  // namespace

int main(int argc, char **argv)
{
	const unsigned reads = argc > 1 ? std::atoi(argv[1]) : 2000;
	boot();
	hw::Dht11 sensor{gpio::line(sensor_gpio)};
	std::mt19937 random(1);

	auto started = std::chrono::steady_clock::now();
	Span normal = measure(sensor, reads, random);
	std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
	print("random records", normal, reads);

	sensor.set_jitter(time::us(4), 3);
	print("random records, +-4 us jitter", measure(sensor, reads / 10, random), reads / 10);
	sensor.clear_faults();

	sensor.set_absent(true);
	print("sensor absent", measure(sensor, 10, random), 10);
	sensor.clear_faults();
	sensor.set_stuck_low(true);
	print("line stuck low", measure(sensor, 10, random), 10);
	sensor.clear_faults();
	sensor.stop_after(39);
	print("stops after 39 bits", measure(sensor, 10, random), 10);
	sensor.stop_after(39, true);
	// The held line stays low for every later read: one read tells it.
	print("holds low after 39 bits", measure(sensor, 1, random), 1);

	std::printf("model throughput: %.0f reads per wall-clock second (%.1f us a read)\n",
		    reads / wall.count(), wall.count() * 1e6 / reads);
	return violations::all().empty() ? 0 : 1;
}
