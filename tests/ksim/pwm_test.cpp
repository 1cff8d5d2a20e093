#include <linux/kern_levels.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "echo_drv.h"
#include "ksim/hw/pwm_channel.hpp"
#include "ksim/testing.hpp"

namespace {

namespace dt = ksim::dt;
namespace platform = ksim::platform;
using ksim::hw::PwmChannel;
using ::testing::ElementsAre;

class PwmTest : public ksim::Test {
protected:
	// A node referring to channel 2, as a motor or a servo would.
	device_node *add_consumer(const std::string &name = "motor")
	{
		return dt::add({name, {"test,other"}, {}, {{"pwms", {2}}}});
	}

	PwmChannel &ch = ksim::hw::pwm_channel(2);
};

TEST_F(PwmTest, AManagedChannelIsReleasedOnceWhenItsDeviceIsUnbound)
{
	dt::add({"echo0", {"test,echo"}, {}, {{"pwms", {2}}}});
	ASSERT_EQ(ksim::modules::load("ksim_echo"), 0);
	pwm_device *pwm = devm_pwm_get(&platform::device("echo0")->dev, nullptr);
	ASSERT_FALSE(IS_ERR(pwm));
	EXPECT_EQ(ch.holder(), "echo0");

	int removes = echo_removes;
	platform::unbind("echo0");
	EXPECT_EQ(echo_removes, removes + 1);
	EXPECT_FALSE(ch.held());
	EXPECT_THAT(ch.history(), ElementsAre("request echo0", "release"));
}

TEST_F(PwmTest, ReleasingTwiceOrUsingAReleasedChannelFailsTheTest)
{
	pwm_device *pwm = of_pwm_get(add_consumer(), "motor-left");
	ASSERT_FALSE(IS_ERR(pwm));
	EXPECT_EQ(ch.holder(), "motor-left");
	ASSERT_EQ(pwm_config(pwm, 1000, 4000), 0);
	pwm_put(pwm);

	pwm_free(pwm);
	EXPECT_EQ(pwm_config(pwm, 3000, 4000), -EINVAL);
	EXPECT_EQ(pwm_enable(pwm), -EINVAL);
	EXPECT_THAT(ksim::violations::take(),
		    ElementsAre("PWM channel 2 released twice",
				"PWM channel 2: config 3000 4000 after its release",
				"PWM channel 2: enable after its release"));
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_WARNING, "PWM device already freed\n"));
	EXPECT_EQ(ch.duty_ns(), 1000);
	EXPECT_FALSE(ch.enabled());
}

TEST_F(PwmTest, LookUpFailuresHoldNoChannel)
{
	device_node *np = add_consumer();
	device_node *bare = dt::add({"bare", {"test,other"}, {}, {}});
	device_node *far = dt::add({"far", {"test,other"}, {}, {{"pwms", {ksim::hw::pwm_channel_count}}}});
	struct Case {
		const char *what;
		device_node *node;
		int error;
	};
	const std::vector<Case> cases = {
		{"no pwms property", bare, -ENOENT},
		{"no node", nullptr, -ENOENT},
		{"no controller serves the channel", far, -EPROBE_DEFER},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_EQ(PTR_ERR(of_pwm_get(c.node, nullptr)), c.error);
	}
	EXPECT_EQ(PTR_ERR(pwm_get(&platform::add("board-motor")->dev, nullptr)), -ENODEV);
	ksim::fault::inject("of_pwm_get", -ENOMEM);
	EXPECT_EQ(PTR_ERR(of_pwm_get(np, nullptr)), -ENOMEM);
	EXPECT_FALSE(ch.held());

	ASSERT_FALSE(IS_ERR(pwm_get(&platform::device("motor")->dev, nullptr)));
	EXPECT_EQ(PTR_ERR(of_pwm_get(add_consumer("second"), nullptr)), -EBUSY);
	EXPECT_EQ(ch.holder(), "motor");
}

TEST_F(PwmTest, ConsumerCallsCheckTheirArgumentsAsTheCoreDoes)
{
	pwm_device *pwm = of_pwm_get(add_consumer(), nullptr);
	ASSERT_EQ(pwm_config(pwm, 500, 2000), 0);
	EXPECT_EQ(pwm_config(pwm, 2001, 2000), -EINVAL);
	EXPECT_EQ(pwm_config(pwm, -1, 2000), -EINVAL);
	EXPECT_EQ(pwm_config(pwm, 0, 0), -EINVAL);
	EXPECT_EQ(ch.duty_ns(), 500);
	EXPECT_EQ(ch.period_ns(), 2000);

	ASSERT_EQ(pwm_enable(pwm), 0);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), -EBUSY);
	pwm_disable(pwm);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), 0);
	EXPECT_EQ(ch.polarity(), PWM_POLARITY_INVERSED);

	EXPECT_EQ(pwm_config(nullptr, 1, 2), -EINVAL);
	EXPECT_EQ(pwm_enable(nullptr), -EINVAL);
	EXPECT_EQ(pwm_set_polarity(nullptr, PWM_POLARITY_NORMAL), -EINVAL);
	pwm_disable(nullptr);
	pwm_put(nullptr);
	EXPECT_THAT(ch.history(),
		    ElementsAre("request motor", "config 500 2000", "config 2001 2000",
				"config -1 2000", "config 0 0", "enable", "polarity inversed",
				"disable", "polarity inversed"));
}

TEST_F(PwmTest, AReleaseLeavesTheOutputRunning)
{
	pwm_device *pwm = of_pwm_get(add_consumer(), nullptr);
	pwm_config(pwm, 700, 1000);
	pwm_enable(pwm);
	pwm_put(pwm);
	EXPECT_TRUE(ch.enabled());
	EXPECT_EQ(ch.duty_ns(), 700);
	EXPECT_EQ(ch.history().back(), "release");
}

}  // namespace
