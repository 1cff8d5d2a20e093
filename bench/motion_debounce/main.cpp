// motion_drv on the host model: the delay from a PIR edge to the SIGIO of
// its settled burst, in virtual time, for edges at every phase of the tick
// and bursts of every length; and how many edges a second of wall-clock
// time the model carries through interrupt, timer and signal, also as a
// multiple of real time.
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ksim/hw/pir.hpp"
#include "ksim/model.hpp"

namespace {

using namespace ksim;
using time::ms;
using time::Nanoseconds;
using time::us;

constexpr unsigned sensor_gpio = 17;
constexpr pid_t owner = 100;
constexpr Nanoseconds spacing = ms(100); // between bursts: each settles alone

struct Span {
	Nanoseconds shortest = ~Nanoseconds{0};
	Nanoseconds longest = 0;
	unsigned bursts = 0;
	unsigned signals = 0;

	void add(Nanoseconds delay)
	{
		shortest = std::min(shortest, delay);
		longest = std::max(longest, delay);
	}
};

void boot_with_subscriber()
{
	reset();
	dt::add({"pir", {"hc-sr501"}, {{sensor_gpio, 0}}, {}});
	if (modules::load("motion_drv") != 0 || !bus::bound("pir")) {
		std::fprintf(stderr, "motion_drv did not bind\n");
		std::exit(2);
	}
	int fd = fs::open("/dev/sr501");
	fs::fcntl(fd, F_SETOWN, owner);
	fs::fcntl(fd, F_SETFL, fs::fcntl(fd, F_GETFL) | FASYNC);
}

// Bursts of 1 to 8 edges 3 ms apart, the first at each microsecond phase
// of the tick in turn; each burst's delay runs from its last edge.
Span measure(hw::Pir &pir, unsigned bursts)
{
	Span span;
	Nanoseconds start = ms(1000);
	for (unsigned i = 0; i < bursts; i++, start += spacing) {
		const unsigned edges = 1 + i % 8;
		const Nanoseconds first = start + us(i % 10000);
		const Nanoseconds last = first + (edges - 1) * ms(3);
		const std::size_t before = events().size();
		pir.burst(first, pir.output() ^ 1, edges, ms(3));
		time::advance_to(start + spacing - ms(1));
		span.bursts++;
		const Event *signal = nullptr;
		for (std::size_t e = before; e < events().size(); e++) {
			if (events()[e].kind == "signal") {
				span.signals++;
				signal = &events()[e];
			}
		}
		if (signal)
			span.add(signal->at - last);
	}
	return span;
}

}  // namespace

int main(int argc, char **argv)
{
	const unsigned bursts = argc > 1 ? std::atoi(argv[1]) : 10000;
	boot_with_subscriber();
	hw::Pir pir{sensor_gpio};

	const Nanoseconds modelled_from = time::now();
	const auto began = std::chrono::steady_clock::now();
	const Span span = measure(pir, bursts);
	const std::chrono::duration<double> took = std::chrono::steady_clock::now() - began;
	const double modelled_s = static_cast<double>(time::now() - modelled_from) / 1e9;

	std::printf("bursts %u, edges %u, SIGIO %u (one per burst expected)\n",
		    span.bursts, pir.edges(), span.signals);
	std::printf("last edge to SIGIO: %.3f to %.3f ms of virtual time\n",
		    span.shortest / 1e6, span.longest / 1e6);
	std::printf("model: %.0f edges/s, %.0f signals/s of wall-clock time, %.1f x real time "
		    "(the same bursts' virtual time over their wall-clock time)\n",
		    pir.edges() / took.count(), span.signals / took.count(),
		    modelled_s / took.count());
	modules::unload_all();
	for (const std::string &v : violations::all())
		std::printf("violation: %s\n", v.c_str());
	return violations::all().empty() && span.signals == span.bursts ? 0 : 1;
}
