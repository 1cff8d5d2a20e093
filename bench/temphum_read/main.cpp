// temphum_drv on the host model: how long a read keeps local interrupts
// off, in virtual time, over random records and on each failure path; and
// how many reads a second of wall-clock time the model carries, also as a
// multiple of real time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

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
	if (modules::load("temphum_drv") != 0 || !bus::bound("dht11")) {
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
		// The sensor's frame ends; its rest is off for the benchmark.
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

// The exchange runs whole with interrupts off: its time is the window.
void figure(const char *what, const std::string &value, const char *how)
{
	std::printf("figure: DHT11 exchange, interrupts off, %s | %s | %s\n", what,
		    value.c_str(), how);
}

std::string ms_text(Nanoseconds ns)
{
	char text[32];
	std::snprintf(text, sizeof(text), "%.3f ms", ms_of(ns));
	return text;
}

}  // namespace

int main(int argc, char **argv)
{
	const unsigned reads = argc > 1 ? std::atoi(argv[1]) : 2000;
	boot();
	hw::Dht11 sensor{gpio::line(sensor_gpio)};
	sensor.set_rest(0);
	std::mt19937 random(1);

	const Nanoseconds modelled_from = time::now();
	auto started = std::chrono::steady_clock::now();
	Span normal = measure(sensor, reads, random);
	std::chrono::duration<double> wall = std::chrono::steady_clock::now() - started;
	const double modelled_s = static_cast<double>(time::now() - modelled_from) / 1e9;
	print("random records", normal, reads);
	figure("normal", ms_text(normal.shortest) + " to " + ms_text(normal.longest),
	       "host model, virtual time, random records");

	sensor.set_jitter(time::us(4), 3);
	Span worst = measure(sensor, reads / 10, random);
	print("random records, +-4 us jitter", worst, reads / 10);
	worst.add(normal.longest);
	sensor.clear_faults();

	const struct {
		const char *what;
		void (*fault)(hw::Dht11 &);
		unsigned reads;
	} faults[] = {
		{"sensor absent", [](hw::Dht11 &s) { s.set_absent(true); }, 10},
		{"line stuck low", [](hw::Dht11 &s) { s.set_stuck_low(true); }, 10},
		{"stops after 39 bits", [](hw::Dht11 &s) { s.stop_after(39); }, 10},
		// The held line stays low for every later read: one read tells it.
		{"holds low after 39 bits", [](hw::Dht11 &s) { s.stop_after(39, true); }, 1},
	};
	for (const auto &f : faults) {
		f.fault(sensor);
		Span span = measure(sensor, f.reads, random);
		print(f.what, span, f.reads);
		worst.add(span.shortest);
		worst.add(span.longest);
		sensor.clear_faults();
	}
	figure("worst case", ms_text(worst.longest),
	       "host model, virtual time, the longest of random records, +-4 us jitter on "
	       "every phase and every failure path");

	std::printf("model throughput: %.0f reads per wall-clock second (%.1f us a read), "
		    "%.1f x real time (the same reads' virtual time over their wall-clock time)\n",
		    reads / wall.count(), wall.count() * 1e6 / reads, modelled_s / wall.count());
	return violations::all().empty() ? 0 : 1;
}
