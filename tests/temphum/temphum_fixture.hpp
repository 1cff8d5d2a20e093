// A board with a DHT11 on GPIO 17 and, if a test adds it, its device-tree
// node; temphum_drv is linked in and loaded by the tests.
#pragma once

#include <linux/fs.h>
#include <linux/kern_levels.h>

#include <string>

#include "ksim/hw/dht11.hpp"
#include "ksim/testing.hpp"

class TemphumTest : public ksim::Test {
protected:
	static constexpr unsigned pin = 17;
	static constexpr const char *node_name = "dht11@0";

	ksim::gpio::Line &line = ksim::gpio::line(pin);
	ksim::hw::Dht11 sensor{line};
	ksim::dt::Node node{node_name, {"hc-dht11"}, {{pin, 0}}, {}};

	void load_bound()
	{
		ksim::dt::add(node);
		ASSERT_EQ(ksim::modules::load("temphum_drv"), 0);
		ASSERT_TRUE(ksim::bus::bound(node_name));
	}

	// As a reader does between measurements: the sensor hears no start
	// signal until it has rested after its last answer.
	void wait_for_rest() { ksim::time::advance_to(sensor.rested_at()); }

	// One read on a fresh descriptor, with the interrupt-off record cleared.
	ssize_t read_node(void *buf, size_t count)
	{
		int fd = ksim::fs::open("/dev/dht11", O_RDONLY);
		EXPECT_GE(fd, 0);
		ksim::irq::clear_off_windows();
		ssize_t result = ksim::fs::read(fd, buf, count);
		EXPECT_EQ(ksim::fs::close(fd), 0);
		return result;
	}
};
