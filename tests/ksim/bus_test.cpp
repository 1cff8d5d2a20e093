// The driver core the platform and I2C buses share.
#include <linux/kern_levels.h>
#include <linux/of_gpio.h>

#include <gmock/gmock.h>

#include "echo_drv.h"
#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class BusTest : public ksim::Test {
protected:
	BusTest()
	{
		echo_probe_result = 0;
		echo_probes = 0;
		echo_removes = 0;
	}

	dt::Node echo_node{"echo0", {"vendor,other", "test,echo"}, {{17, 0}, {4, OF_GPIO_ACTIVE_LOW}}, {}};
};

TEST_F(BusTest, ADriverBindsToNodesDeclaredBeforeOrAfterItsRegistration)
{
	dt::add(echo_node);
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	EXPECT_EQ(bus::driver("echo0"), "echo");

	dt::add({"echo1", {"test,echo"}, {}, {}});
	EXPECT_TRUE(bus::bound("echo1"));
	dt::add({"other", {"vendor,other"}, {}, {}});
	EXPECT_FALSE(bus::bound("other"));
	EXPECT_EQ(echo_probes, 2);

	dt::remove("echo1");
	EXPECT_EQ(echo_removes, 1);
	EXPECT_EQ(bus::device("echo1"), nullptr);
	ASSERT_EQ(modules::unload("ksim_echo"), 0);
	EXPECT_EQ(echo_removes, 2);
	EXPECT_FALSE(bus::bound("echo0"));
	EXPECT_THAT(events("core"),
		    ElementsAre("register_chrdev echo", "class_create echo_class", "device_create echo",
				"platform_driver_register echo", "probe echo echo0", "probe echo echo1",
				"remove echo echo1", "platform_driver_unregister echo",
				"remove echo echo0", "device_destroy echo", "class_destroy echo_class",
				"unregister_chrdev echo"));
}

TEST_F(BusTest, AFailedProbeLeavesTheDeviceUnboundAndIsLoggedByTheCore)
{
	echo_probe_result = -EIO;
	dt::add(echo_node);
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	EXPECT_FALSE(bus::bound("echo0"));
	EXPECT_EQ(bus::last_probe_result("echo0"), -EIO);
	EXPECT_TRUE(log::contains(LOGLEVEL_WARNING, "echo: probe of echo0 failed with error -5\n"));

	echo_probe_result = 0;
	EXPECT_EQ(bus::bind("echo0"), 0);
	EXPECT_EQ(bus::bind("echo0"), -EBUSY);
	bus::unbind("echo0");
	EXPECT_EQ(echo_removes, 1);
	EXPECT_EQ(bus::bind("echo0"), 0);
	EXPECT_EQ(echo_probes, 3);
}

TEST_F(BusTest, GpioEntriesAreReadByIndexWithTheirFlags)
{
	device_node *np = dt::add(echo_node);
	enum of_gpio_flags flags;
	EXPECT_EQ(of_get_named_gpio_flags(np, "gpios", 1, &flags), 4);
	EXPECT_EQ(flags, OF_GPIO_ACTIVE_LOW);
	EXPECT_EQ(of_get_named_gpio_flags(np, "gpios", 0, nullptr), 17);
	EXPECT_EQ(of_get_named_gpio_flags(np, "gpios", 2, &flags), -ENOENT);
	EXPECT_EQ(of_get_named_gpio_flags(np, "reset-gpios", 0, &flags), -ENOENT);

	device_node *far = dt::add({"far", {"x"}, {{gpio::line_count, 0}}, {}});
	EXPECT_EQ(of_get_named_gpio(far, "gpios", 0), -EPROBE_DEFER);
}

// The client comes after the driver, so its probe runs from the test, not
// from the module's init: what it leaves is still the module's.
TEST_F(BusTest, WhatAnI2cProbeLeavesBehindIsChargedToItsModule)
{
	i2c::add_adapter(0);
	ASSERT_EQ(modules::load("ksim_leaky"), 0);
	i2c::declare(0, 0x10, "test,leaky");
	ASSERT_EQ(bus::driver("0-0010"), "leaky");
	ASSERT_NE(irq::requested(irq::of_gpio(6)), nullptr);

	ASSERT_EQ(modules::unload("ksim_leaky"), 0);
	EXPECT_THAT(violations::take(),
		    UnorderedElementsAre(
			    "ksim_leaky left interrupt 166 (leaky) behind after unload",
			    "ksim_leaky left an armed timer behind after unload"));
	EXPECT_THAT(events("core"), ElementsAre("i2c_register_driver leaky", "probe leaky 0-0010",
						"i2c_del_driver leaky", "remove leaky 0-0010"));
}

}  // namespace
