// The AP3216C model the driver tests stand on: what a word read returns and
// when the data registers show the scene.
#include <gtest/gtest.h>

#include "ksim/hw/ap3216c.hpp"

namespace {

using ksim::hw::Ap3216c;

TEST(Ap3216cModel, WordReadIsTheNamedRegisterLowAndTheNextOneHigh)
{
	Ap3216c chip;
	chip.write_byte_data(Ap3216c::sys_config, Ap3216c::mode_als_ps_ir);
	chip.set_measurement(Ap3216c::als_data, 0x1234);
	chip.set_measurement(Ap3216c::ps_data, 0xabcd);
	EXPECT_EQ(chip.read_word_data(Ap3216c::als_data), 0x1234);
	EXPECT_EQ(chip.read_word_data(Ap3216c::als_data + 1), 0xcd12);
	EXPECT_EQ(chip.read_word_data(Ap3216c::ps_data), 0xabcd);
}

TEST(Ap3216cModel, DataShowsOnlyWhileItsFunctionIsOnAndResetClearsIt)
{
	Ap3216c chip;
	chip.set_measurement(Ap3216c::ir_data, 0x0101);
	chip.set_measurement(Ap3216c::als_data, 0x0202);
	chip.set_measurement(Ap3216c::ps_data, 0x0303);
	EXPECT_EQ(chip.read_word_data(Ap3216c::als_data), 0);

	chip.write_byte_data(Ap3216c::sys_config, Ap3216c::mode_als);
	EXPECT_EQ(chip.read_word_data(Ap3216c::als_data), 0x0202);
	EXPECT_EQ(chip.read_word_data(Ap3216c::ir_data), 0);

	chip.write_byte_data(Ap3216c::sys_config, Ap3216c::mode_ps_ir);
	EXPECT_EQ(chip.read_word_data(Ap3216c::ir_data), 0x0101);
	EXPECT_EQ(chip.read_word_data(Ap3216c::ps_data), 0x0303);

	chip.write_byte_data(Ap3216c::sys_config, Ap3216c::mode_sw_reset);
	EXPECT_EQ(chip.mode(), Ap3216c::mode_power_down);
	for (std::uint8_t reg : {Ap3216c::ir_data, Ap3216c::als_data, Ap3216c::ps_data})
		EXPECT_EQ(chip.read_word_data(reg), 0);
}

}  // namespace
