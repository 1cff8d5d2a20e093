// A board with I2C adapter 0 and an AP3216C answering at 0x1e.
#pragma once

#include <string>
#include <vector>

#include "ksim/hw/ap3216c.hpp"
#include "ksim/testing.hpp"

namespace lightprox_test {

using ksim::hw::Ap3216c;

constexpr const char *node = "/dev/ap3216";
constexpr int adapter = 0;
constexpr std::uint16_t addr = Ap3216c::address;
// The client's device name: adapter, then address.
constexpr const char *client = "0-001e";

class SensorTest : public ksim::Test {
protected:
	SensorTest()
	{
		ksim::i2c::add_adapter(adapter);
		ksim::i2c::attach(adapter, addr, chip);
	}

	// Both modules loaded and the driver bound to the board's client.
	void bind()
	{
		ASSERT_EQ(ksim::modules::load("lightprox_drv"), 0);
		ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
		ASSERT_TRUE(ksim::fs::exists(node));
	}

	Ap3216c chip;
};

// The kernel's messages at default level, in order.
inline std::vector<std::string> default_messages()
{
	std::vector<std::string> texts;
	for (const auto &entry : ksim::log::entries())
		if (entry.level == ksim::log::default_level)
			texts.push_back(entry.text);
	return texts;
}

}  // namespace lightprox_test
