// The PWM core: looking up a node's channel for a device, the consumer
// calls of 4.1, and the release when the device is unbound.
#include <linux/kern_levels.h>
#include <linux/platform_device.h>
#include <linux/pwm.h>

#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "echo_drv.h"
#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using ::testing::ElementsAre;

class PwmTest : public ksim::Test {
protected:
	// A device whose node refers to channel 2, as a motor or a servo would.
	struct device *add_consumer(const std::string &name = "motor")
	{
		dt::add({name, {"test,other"}, {}, {{"pwms", {2}}}});
		return bus::device(name);
	}

	pwm_device &ch = pwm::channel(2);
};

TEST_F(PwmTest, AManagedChannelIsReleasedOnceWhenItsDeviceIsUnbound)
{
	dt::add({"echo0", {"test,echo"}, {}, {{"pwms", {2}}}});
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	pwm_device *pwm = devm_pwm_get(bus::device("echo0"), nullptr);
	ASSERT_EQ(pwm, &ch);
	EXPECT_STREQ(ch.label, "echo0");
	EXPECT_TRUE(ch.flags & PWMF_REQUESTED);

	bus::unbind("echo0");
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);
	EXPECT_EQ(ch.label, nullptr);
	EXPECT_THAT(events("pwm"), ElementsAre("pwm2 request echo0", "pwm2 release"));
	ASSERT_EQ(bus::bind("echo0"), 0);
	EXPECT_EQ(events("pwm").size(), 2u);
}

TEST_F(PwmTest, UsingAReleasedChannelIsAViolation)
{
	dt::add({"echo0", {"test,echo"}, {}, {{"pwms", {2}}}});
	ASSERT_EQ(modules::load("ksim_echo"), 0);
	pwm_device *pwm = devm_pwm_get(bus::device("echo0"), nullptr);
	ASSERT_EQ(pwm_config(pwm, 1000, 4000), 0);
	bus::unbind("echo0");

	EXPECT_EQ(pwm_config(pwm, 3000, 4000), -EINVAL);
	EXPECT_EQ(pwm_enable(pwm), -EINVAL);
	EXPECT_THAT(violations::take(),
		    ElementsAre("PWM channel 2: config 3000 4000 after its release",
				"PWM channel 2: enable after its release"));
	EXPECT_EQ(ch.duty_cycle, 1000u);
	EXPECT_FALSE(ch.flags & PWMF_ENABLED);
}

TEST_F(PwmTest, LookUpFailuresHoldNoChannel)
{
	struct device *motor = add_consumer();
	dt::add({"bare", {"test,other"}, {}, {}});
	dt::add({"far", {"test,other"}, {}, {{"pwms", {pwm::channels}}}});
	struct Case {
		const char *what;
		struct device *dev;
		const char *con_id;
		int error;
	};
	const std::vector<Case> cases = {
		{"no pwms property", bus::device("bare"), nullptr, -ENOENT},
		{"no controller serves the channel", bus::device("far"), nullptr, -EPROBE_DEFER},
		{"no node, and no board lookup table", platform::add("board-motor"), nullptr,
		 -EPROBE_DEFER},
		{"a name, and no pwm-names", motor, "motor-left", -EINVAL},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_EQ(PTR_ERR(devm_pwm_get(c.dev, c.con_id)), c.error);
	}
	fault::inject("of_pwm_get", -ENOMEM);
	EXPECT_EQ(PTR_ERR(devm_pwm_get(motor, nullptr)), -ENOMEM);
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);

	ASSERT_EQ(devm_pwm_get(motor, nullptr), &ch);
	EXPECT_EQ(PTR_ERR(devm_pwm_get(add_consumer("second"), nullptr)), -EBUSY);
	EXPECT_STREQ(ch.label, "motor");
}

TEST_F(PwmTest, ConsumerCallsCheckTheirArgumentsAsTheCoreDoes)
{
	pwm::has_polarity_operation(true);
	pwm_device *pwm = devm_pwm_get(add_consumer(), nullptr);
	ASSERT_EQ(pwm_config(pwm, 500, 2000), 0);
	EXPECT_EQ(pwm_config(pwm, 2001, 2000), -EINVAL);
	EXPECT_EQ(pwm_config(pwm, -1, 2000), -EINVAL);
	EXPECT_EQ(pwm_config(pwm, 0, 0), -EINVAL);
	EXPECT_EQ(ch.duty_cycle, 500u);
	EXPECT_EQ(ch.period, 2000u);

	ASSERT_EQ(pwm_enable(pwm), 0);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), -EBUSY);
	pwm_disable(pwm);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), 0);
	EXPECT_EQ(ch.polarity, PWM_POLARITY_INVERSED);
	fault::inject("pwm_set_polarity", -EIO);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_NORMAL), -EIO);
	EXPECT_EQ(ch.polarity, PWM_POLARITY_INVERSED);

	EXPECT_EQ(pwm_config(nullptr, 1, 2), -EINVAL);
	EXPECT_EQ(pwm_enable(nullptr), -EINVAL);
	EXPECT_EQ(pwm_set_polarity(nullptr, PWM_POLARITY_NORMAL), -EINVAL);
	pwm_disable(nullptr);
	EXPECT_THAT(events("pwm"),
		    ElementsAre("pwm2 request motor", "pwm2 config 500 2000",
				"pwm2 config 2001 2000", "pwm2 config -1 2000", "pwm2 config 0 0",
				"pwm2 enable", "pwm2 polarity inversed", "pwm2 disable",
				"pwm2 polarity inversed", "pwm2 polarity normal"));
}

// The board's pwm-imx has no set_polarity: 4.1's core refuses before it
// looks at the channel, even the polarity the output has, and while running.
TEST_F(PwmTest, TheBoardsControllerRefusesEveryPolarity)
{
	pwm_device *pwm = devm_pwm_get(add_consumer(), nullptr);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_NORMAL), -ENOSYS);
	ASSERT_EQ(pwm_enable(pwm), 0);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), -ENOSYS);
	EXPECT_EQ(ch.polarity, PWM_POLARITY_NORMAL);
}

// 4.1 marks the channel enabled before it asks the controller, and leaves
// the mark when the controller refuses: a second enable does nothing.
TEST_F(PwmTest, ARefusedEnableLeavesTheChannelMarkedEnabled)
{
	pwm::has_polarity_operation(true);
	pwm_device *pwm = devm_pwm_get(add_consumer(), nullptr);
	fault::inject("pwm_enable", -EIO);
	EXPECT_EQ(pwm_enable(pwm), -EIO);
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
	EXPECT_EQ(pwm_enable(pwm), 0);
	EXPECT_EQ(pwm_set_polarity(pwm, PWM_POLARITY_INVERSED), -EBUSY);
}

TEST_F(PwmTest, AReleaseLeavesTheOutputRunning)
{
	pwm_device *pwm = devm_pwm_get(add_consumer(), nullptr);
	ASSERT_EQ(pwm_config(pwm, 700, 1000), 0);
	ASSERT_EQ(pwm_enable(pwm), 0);
	dt::remove("motor");
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
	EXPECT_EQ(ch.duty_cycle, 700u);
	EXPECT_EQ(events("pwm").back(), "pwm2 release");
}

}  // namespace
