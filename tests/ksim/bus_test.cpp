#include <linux/device.h>
#include <linux/of_gpio.h>
#include <linux/kern_levels.h>
#include <linux/platform_device.h>

#include "echo_drv.h"
#include "ksim/testing.hpp"

namespace {

namespace dt = ksim::dt;
namespace platform = ksim::platform;
namespace modules = ksim::modules;

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
	EXPECT_EQ(platform::driver("echo0"), "echo");

	dt::add({"echo1", {"test,echo"}, {}, {}});
	EXPECT_TRUE(platform::bound("echo1"));
	dt::add({"other", {"vendor,other"}, {}, {}});
	EXPECT_FALSE(platform::bound("other"));
	EXPECT_EQ(echo_probes, 2);

	dt::remove("echo1");
	EXPECT_EQ(echo_removes, 1);
	ASSERT_EQ(modules::unload("ksim_echo"), 0);
	EXPECT_EQ(echo_removes, 2);
	EXPECT_FALSE(platform::bound("echo0"));
}

TEST_F(BusTest, AFailedProbeLeavesTheDeviceUnboundAndIsLoggedByTheCore)
{
	echo_probe_result = -EIO;
	dt::add(echo_node);
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	EXPECT_FALSE(platform::bound("echo0"));
	EXPECT_EQ(platform::last_probe_result("echo0"), -EIO);
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_WARNING,
					"echo: probe of echo0 failed with error -5\n"));

	echo_probe_result = 0;
	EXPECT_EQ(platform::bind("echo0"), 0);
	EXPECT_TRUE(platform::bound("echo0"));
	EXPECT_EQ(platform::bind("echo0"), -EBUSY);
}

TEST_F(BusTest, UnbindRunsRemoveAndReleasesManagedResourcesThenRebindProbes)
{
	dt::add(echo_node);
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	static int released;
	released = 0;
	devm_add_action(&platform::device("echo0")->dev, [](void *) { released++; }, nullptr);
	platform::unbind("echo0");
	EXPECT_EQ(echo_removes, 1);
	EXPECT_EQ(released, 1);
	EXPECT_EQ(platform::bind("echo0"), 0);
	EXPECT_EQ(echo_probes, 2);
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

	device_node *far = dt::add({"far", {"x"}, {{ksim::gpio::line_count, 0}}, {}});
	EXPECT_EQ(of_get_named_gpio(far, "gpios", 0), -EPROBE_DEFER);
}

TEST_F(BusTest, AFailedDriverRegistrationUnwindsTheWholeLoad)
{
	ksim::fault::inject("platform_driver_register", -ENOMEM);
	EXPECT_EQ(modules::load("ksim_echo"), -ENOMEM);
	EXPECT_TRUE(ksim::fs::nodes().empty());
	EXPECT_EQ(modules::load("ksim_echo"), 0);
}

}  // namespace
