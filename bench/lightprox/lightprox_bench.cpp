// What /dev/ap3216 costs: the CPU time open holds in its busy-wait and the
// bus transfers of an open and a read (in the model's virtual time), and the
// host time of one read through the model.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "ksim/hw/ap3216c.hpp"
#include "ksim/model.hpp"

namespace {

constexpr int reads = 100000;

void fail(const char *what)
{
	std::fprintf(stderr, "lightprox_bench: %s\n", what);
	std::exit(1);
}

}  // namespace

int main()
{
	ksim::reset();
	ksim::hw::Ap3216c chip;
	ksim::i2c::add_adapter(0);
	ksim::i2c::attach(0, ksim::hw::Ap3216c::address, chip);
	if (ksim::modules::load("lightprox_drv") || ksim::modules::load("lightprox_board"))
		fail("modules do not load");

	auto start = ksim::time::now();
	int fd = ksim::fs::open("/dev/ap3216");
	if (fd < 0)
		fail("open failed");
	std::printf("open: %.3f ms busy-wait (virtual), %zu SMBus transfers\n",
		    (ksim::time::now() - start) / 1e6, ksim::events("i2c").size());

	ksim::user::Buffer record(6);
	ksim::clear_events();
	start = ksim::time::now();
	if (ksim::fs::read(fd, record.data(), 6) != 0)
		fail("read failed");
	std::printf("read: %.3f ms (virtual), %zu SMBus transfers\n",
		    (ksim::time::now() - start) / 1e6, ksim::events("i2c").size());

	const auto wall = std::chrono::steady_clock::now();
	for (int i = 0; i < reads; i++) {
		ksim::clear_events();
		ksim::fs::read(fd, record.data(), 6);
	}
	const std::chrono::duration<double, std::micro> spent =
		std::chrono::steady_clock::now() - wall;
	std::printf("read through the model: %.2f us each on this host (%d reads)\n",
		    spent.count() / reads, reads);
	ksim::fs::close(fd);
	ksim::reset();
	return 0;
}
