#include <linux/gpio.h>
#include <linux/kern_levels.h>

#include <vector>

#include "ksim/testing.hpp"

namespace {

using ksim::gpio::Line;
using ksim::gpio::Pull;

class GpioTest : public ksim::Test {
protected:
	Line &line = ksim::gpio::line(17);
	gpio_desc *desc = gpio_to_desc(17);
};

TEST_F(GpioTest, HostOutputWinsOverTheDeviceWhichWinsOverThePull)
{
	line.set_pull(Pull::up);
	EXPECT_EQ(gpiod_get_raw_value(desc), 1);
	line.device_drive(0);
	EXPECT_EQ(gpiod_get_raw_value(desc), 0);
	gpiod_direction_output_raw(desc, 1);
	EXPECT_EQ(gpiod_get_raw_value(desc), 1);
	gpiod_direction_input(desc);
	EXPECT_EQ(gpiod_get_raw_value(desc), 0);
	line.device_drive(std::nullopt);
	EXPECT_EQ(gpiod_get_raw_value(desc), 1);
}

TEST_F(GpioTest, SettingAnInputDrivesNothing)
{
	gpiod_direction_input(desc);
	gpiod_set_raw_value(desc, 1);
	EXPECT_FALSE(line.is_output());
	EXPECT_EQ(gpiod_get_raw_value(desc), 0);
}

TEST_F(GpioTest, WatchersSeeEachLevelChangeOnce)
{
	std::vector<int> levels;
	int id = line.watch([&](int level) { levels.push_back(level); });
	gpiod_direction_output_raw(desc, 0);
	gpiod_direction_output_raw(desc, 1);
	gpiod_set_raw_value(desc, 1);
	gpiod_direction_input(desc);
	line.set_pull(Pull::up);
	line.unwatch(id);
	line.device_drive(0);
	EXPECT_EQ(levels, (std::vector<int>{1, 0, 1}));
}

TEST_F(GpioTest, EveryValueReadCountsOnItsOwnLineOnly)
{
	gpiod_get_raw_value(desc);
	gpiod_get_value_cansleep(desc);
	gpiod_get_raw_value(nullptr);
	gpiod_direction_output(desc, 1);
	gpiod_set_raw_value(desc, 0);
	EXPECT_EQ(line.host_reads(), 2u);
	EXPECT_EQ(ksim::gpio::line(18).host_reads(), 0u);
}

TEST_F(GpioTest, NumbersWithoutALineHaveNoDescriptorAndCallsOnNullAreRefused)
{
	EXPECT_EQ(gpio_to_desc(ksim::gpio::line_count), nullptr);
	EXPECT_EQ(gpiod_get_raw_value(nullptr), 0);
	EXPECT_EQ(gpiod_direction_output_raw(nullptr, 1), -EINVAL);
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_WARNING,
					"gpiod_direction_output_raw: invalid GPIO\n"));
}

TEST_F(GpioTest, ARequestClaimsTheLineOnceAndSetsItsDirection)
{
	ASSERT_EQ(gpio_request_one(17, GPIOF_IN, "pir"), 0);
	EXPECT_TRUE(line.requested());
	EXPECT_EQ(line.label(), "pir");
	EXPECT_FALSE(line.is_output());
	EXPECT_EQ(gpio_request_one(17, GPIOF_IN, "again"), -EBUSY);
	gpio_free(17);
	EXPECT_FALSE(line.requested());
	ASSERT_EQ(gpio_request_one(17, GPIOF_INIT_HIGH, "out"), 0);
	EXPECT_TRUE(line.is_output());
	EXPECT_EQ(line.level(), 1);
}

}  // namespace
