#include <linux/kern_levels.h>

#include <gmock/gmock.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ksim/testing.hpp"

namespace {

namespace dt = ksim::dt;
namespace fs = ksim::fs;
namespace modules = ksim::modules;
namespace bus = ksim::bus;
namespace platform = ksim::platform;
using ksim::log::default_level;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr unsigned period_ns = 20000000;
constexpr unsigned zero_degrees_ns = 500000;

class ServoTest : public ksim::Test {
protected:
	void bind_servo()
	{
		dt::add(servo_node);
		ASSERT_EQ(modules::load("servo_drv"), 0);
		ASSERT_TRUE(bus::bound("servo"));
	}

	ssize_t write_node(const void *buf, size_t count)
	{
		int fd = fs::open("/dev/sg90", O_WRONLY);
		EXPECT_GE(fd, 0);
		ssize_t result = fs::write(fd, buf, count);
		fs::close(fd);
		return result;
	}

	ssize_t write_angle(std::uint8_t angle)
	{
		ksim::user::Buffer buf(1, angle);
		return write_node(buf.data(), 1);
	}

	static bool any_channel_held()
	{
		for (unsigned n = 0; n < ksim::pwm::channels; n++)
			if (ksim::pwm::channel(n).flags & PWMF_REQUESTED)
				return true;
		return false;
	}

	// What the servo's channel was asked, refused calls too.
	static std::vector<std::string> calls() { return ksim::events("pwm"); }

	dt::Node servo_node{"servo", {"hc-sg90"}, {}, {{"pwms", {3}}}};
	pwm_device &ch = ksim::pwm::channel(3);
};

TEST_F(ServoTest, ProbeStartsTheChannelAtZeroDegreesWithNormalPolarity)
{
	ksim::pwm::has_polarity_operation(true);
	// What a boot loader might have left on the channel.
	ch.polarity = PWM_POLARITY_INVERSED;
	bind_servo();

	EXPECT_EQ(ksim::log::entries().front(),
		  (ksim::log::Entry{default_level, "sg90 match success \n"}));
	EXPECT_THAT(calls(), ElementsAre("pwm3 request servo", "pwm3 config 500000 20000000",
					 "pwm3 polarity normal", "pwm3 enable"));
	EXPECT_STREQ(ch.label, "servo");
	EXPECT_EQ(ch.duty_cycle, zero_degrees_ns);
	EXPECT_EQ(ch.period, period_ns);
	EXPECT_EQ(ch.polarity, PWM_POLARITY_NORMAL);
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
}

// The board's pwm-imx cannot invert, so 4.1 refuses any polarity with
// -ENOSYS: the servo must start and move all the same.
TEST_F(ServoTest, OnTheBoardsControllerWithoutAPolarityOperationItBindsAndMoves)
{
	dt::add(servo_node);
	ASSERT_EQ(modules::load("servo_drv"), 0);
	EXPECT_EQ(bus::last_probe_result("servo"), 0);
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{{default_level, "sg90 match success \n"}}));
	EXPECT_EQ(ch.duty_cycle, zero_degrees_ns);
	EXPECT_EQ(ch.period, period_ns);
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);

	EXPECT_EQ(write_angle(90), 1);
	EXPECT_EQ(ch.duty_cycle, 1500000u);
}

TEST_F(ServoTest, EachAngleWrittenSetsItsDutyWithinTheSamePeriod)
{
	struct Row {
		std::uint8_t angle;
		unsigned duty_ns;
	};
	const std::vector<Row> table = {
		{0, 500000},   {1, 511111},   {45, 1000000},  {90, 1500000},  {135, 2000000},
		{179, 2488888}, {180, 2500000}, {181, 2511111}, {255, 3333333},
	};
	bind_servo();
	for (const Row &row : table) {
		SCOPED_TRACE("angle " + std::to_string(row.angle));
		EXPECT_EQ(write_angle(row.angle), 1);
		EXPECT_EQ(ch.duty_cycle, row.duty_ns);
		EXPECT_EQ(ch.period, period_ns);
		EXPECT_TRUE(ch.flags & PWMF_ENABLED);
	}
}

TEST_F(ServoTest, RefusedWritesLeaveTheServoWhereItIs)
{
	bind_servo();
	ASSERT_EQ(write_angle(90), 1);
	ksim::clear_events();

	ksim::user::Buffer three(3);
	three[0] = 10;
	three[1] = 20;
	three[2] = 30;
	struct Row {
		const char *what;
		const void *buf;
		size_t count;
		ssize_t result;
	};
	const std::vector<Row> table = {
		{"no byte", three.data(), 0, 0},
		{"two bytes", three.data(), 2, -EINVAL},
		{"three bytes", three.data(), 3, -EINVAL},
		{"an unreadable byte", ksim::user::kernel_address(), 1, -EFAULT},
	};
	for (const Row &row : table) {
		SCOPED_TRACE(row.what);
		EXPECT_EQ(write_node(row.buf, row.count), row.result);
	}
	EXPECT_THAT(calls(), IsEmpty());
	EXPECT_EQ(ch.duty_cycle, 1500000u);
}

TEST_F(ServoTest, UnbindDrivesZeroDegreesThenReleasesTheChannelOnce)
{
	bind_servo();
	ASSERT_EQ(write_angle(180), 1);
	ksim::clear_events();

	bus::unbind("servo");
	EXPECT_THAT(calls(), ElementsAre("pwm3 config 500000 20000000", "pwm3 release"));
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);
	// The output keeps running at 0 degrees once released.
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
	EXPECT_EQ(ch.duty_cycle, zero_degrees_ns);

	EXPECT_EQ(write_angle(90), -ENODEV);
	EXPECT_THAT(calls(), ElementsAre("pwm3 config 500000 20000000", "pwm3 release"));

	ASSERT_EQ(bus::bind("servo"), 0);
	EXPECT_EQ(write_angle(90), 1);
	EXPECT_EQ(ch.duty_cycle, 1500000u);
}

TEST_F(ServoTest, UnloadWhileBoundReleasesTheChannelAndWithdrawsTheNodeInReverse)
{
	bind_servo();
	EXPECT_THAT(ksim::events("core"),
		    ElementsAre("register_chrdev sg90", "class_create sg90_class",
				"device_create sg90", "platform_driver_register my_sg90",
				"probe my_sg90 servo"));
	ASSERT_EQ(write_angle(45), 1);
	ksim::clear_events();

	ASSERT_EQ(modules::unload("servo_drv"), 0);
	std::vector<std::string> texts;
	for (const ksim::Event &e : ksim::events())
		texts.push_back(e.text);
	EXPECT_THAT(texts, ElementsAre("platform_driver_unregister my_sg90", "remove my_sg90 servo",
				       "pwm3 config 500000 20000000", "pwm3 release",
				       "device_destroy sg90", "class_destroy sg90_class",
				       "unregister_chrdev sg90"));
}

TEST_F(ServoTest, WithoutAServoNodeTheNodeExistsButDrivesNothing)
{
	ASSERT_EQ(modules::load("servo_drv"), 0);
	EXPECT_THAT(modules::info("servo_drv", "license"), ElementsAre("GPL"));
	EXPECT_TRUE(fs::exists("/dev/sg90"));
	EXPECT_EQ(write_angle(90), -ENODEV);
	EXPECT_FALSE(any_channel_held());
}

TEST_F(ServoTest, ASecondServoNodeIsRefusedUntilTheFirstIsUnbound)
{
	bind_servo();
	pwm_device &other = ksim::pwm::channel(4);
	dt::add({"servo1", {"hc-sg90"}, {}, {{"pwms", {4}}}});
	EXPECT_EQ(bus::last_probe_result("servo1"), -EBUSY);
	EXPECT_FALSE(other.flags & PWMF_REQUESTED);

	ASSERT_EQ(write_angle(90), 1);
	EXPECT_EQ(ch.duty_cycle, 1500000u);

	bus::unbind("servo");
	ASSERT_EQ(bus::bind("servo1"), 0);
	ASSERT_EQ(write_angle(180), 1);
	EXPECT_EQ(other.duty_cycle, 2500000u);
	EXPECT_EQ(ch.duty_cycle, zero_degrees_ns);
}

// Probe failures: each logs its line after the match line and holds nothing.
struct ProbeFailure {
	const char *what;
	const char *device;
	void (*arrange)();
	const char *error_line;
};

void PrintTo(const ProbeFailure &failure, std::ostream *os)
{
	*os << failure.what;
}

class ServoProbeFailureTest : public ServoTest,
			      public ::testing::WithParamInterface<ProbeFailure> {
};

TEST_P(ServoProbeFailureTest, LogsItsLineReturnsMinusOneAndHoldsNoChannel)
{
	GetParam().arrange();
	ASSERT_EQ(modules::load("servo_drv"), 0);

	EXPECT_EQ(bus::last_probe_result(GetParam().device), -1);
	EXPECT_FALSE(bus::bound(GetParam().device));
	EXPECT_THAT(ksim::log::entries(),
		    ::testing::IsSupersetOf({ksim::log::Entry{default_level, "sg90 match success \n"},
					     ksim::log::Entry{LOGLEVEL_ERR, GetParam().error_line}}));
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);
	EXPECT_EQ(write_angle(90), -ENODEV);
}

INSTANTIATE_TEST_SUITE_P(
	Servo, ServoProbeFailureTest,
	::testing::Values(
		ProbeFailure{"DeviceWithoutNode", "my_sg90", [] { platform::add("my_sg90"); },
			     " pwm_test of_get_next_child  error!!\n"},
		ProbeFailure{"NodeWithoutChannel", "servo",
			     [] { dt::add({"servo", {"hc-sg90"}, {}, {}}); },
			     " pwm_test,get pwm  error!!\n"},
		ProbeFailure{"ChannelLookUpFails", "servo",
			     [] {
				     ksim::fault::inject("of_pwm_get", -ENOMEM);
				     dt::add({"servo", {"hc-sg90"}, {}, {{"pwms", {3}}}});
			     },
			     " pwm_test,get pwm  error!!\n"}),
	[](const ::testing::TestParamInfo<ProbeFailure> &info) { return info.param.what; });

// A PWM controller whose driver comes later: the probe asks the driver
// core to try again, without an error line, and the next try binds.
TEST_F(ServoTest, AChannelNotThereYetDefersTheProbeUntilItIs)
{
	ksim::fault::inject("of_pwm_get", -EPROBE_DEFER);
	dt::add(servo_node);
	ASSERT_EQ(modules::load("servo_drv"), 0);
	EXPECT_EQ(bus::last_probe_result("servo"), -EPROBE_DEFER);
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{{default_level, "sg90 match success \n"}}));
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);

	ASSERT_EQ(bus::bind("servo"), 0);
	EXPECT_EQ(write_angle(90), 1);
	EXPECT_EQ(ch.duty_cycle, 1500000u);
}

// A controller (one with every operation) that refuses a setting while the
// servo is started: the probe fails with its error, holds no channel, and
// the node refuses angles.
class ServoStartRefusedTest : public ServoTest,
			      public ::testing::WithParamInterface<const char *> {
};

TEST_P(ServoStartRefusedTest, FailsTheProbeWithTheChannelsError)
{
	ksim::pwm::has_polarity_operation(true);
	ksim::fault::inject(GetParam(), -EIO);
	dt::add(servo_node);
	ASSERT_EQ(modules::load("servo_drv"), 0);
	EXPECT_EQ(bus::last_probe_result("servo"), -EIO);
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);
	EXPECT_EQ(write_angle(90), -ENODEV);
}

INSTANTIATE_TEST_SUITE_P(Servo, ServoStartRefusedTest,
			 ::testing::Values("pwm_config", "pwm_set_polarity", "pwm_enable"));

TEST_F(ServoTest, ARefusedAngleIsTheWritesErrorAndTheServoStaysWhereItWas)
{
	bind_servo();
	ASSERT_EQ(write_angle(90), 1);
	ksim::fault::inject("pwm_config", -EIO);
	EXPECT_EQ(write_angle(180), -EIO);
	EXPECT_EQ(ch.duty_cycle, 1500000u);
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
}

// Unbinding leaves the output running, and 4.1 sets the polarity of a
// stopped output only (where the controller can set it at all): binding
// again must still start the servo.
TEST_F(ServoTest, BoundAgainAfterAnUnbindItStartsAtZeroDegrees)
{
	ksim::pwm::has_polarity_operation(true);
	bind_servo();
	ASSERT_EQ(write_angle(90), 1);
	bus::unbind("servo");
	ASSERT_TRUE(ch.flags & PWMF_ENABLED);

	ASSERT_EQ(bus::bind("servo"), 0);
	EXPECT_EQ(ch.duty_cycle, zero_degrees_ns);
	EXPECT_EQ(ch.polarity, PWM_POLARITY_NORMAL);
	EXPECT_TRUE(ch.flags & PWMF_ENABLED);
	EXPECT_EQ(write_angle(45), 1);
}

// A failed load step undoes the steps before it, last first, and reports
// the error.
struct LoadFailure {
	const char *site;
	std::vector<std::string> history;
};

void PrintTo(const LoadFailure &failure, std::ostream *os)
{
	*os << failure.site;
}

class ServoLoadFailureTest : public ServoTest, public ::testing::WithParamInterface<LoadFailure> {
};

TEST_P(ServoLoadFailureTest, UndoesTheEarlierStepsAndReturnsTheError)
{
	dt::add(servo_node);
	ksim::fault::inject(GetParam().site, -ENOMEM);
	EXPECT_EQ(modules::load("servo_drv"), -ENOMEM);
	EXPECT_FALSE(modules::loaded("servo_drv"));
	EXPECT_EQ(ksim::events("core"), GetParam().history);
	EXPECT_THAT(fs::nodes(), IsEmpty());
	EXPECT_FALSE(ch.flags & PWMF_REQUESTED);

	ASSERT_EQ(modules::load("servo_drv"), 0);
	EXPECT_TRUE(bus::bound("servo"));
}

INSTANTIATE_TEST_SUITE_P(
	Servo, ServoLoadFailureTest,
	::testing::Values(
		LoadFailure{"register_chrdev", {}},
		LoadFailure{"class_create", {"register_chrdev sg90", "unregister_chrdev sg90"}},
		LoadFailure{"device_create",
			    {"register_chrdev sg90", "class_create sg90_class",
			     "class_destroy sg90_class", "unregister_chrdev sg90"}},
		LoadFailure{"platform_driver_register",
			    {"register_chrdev sg90", "class_create sg90_class", "device_create sg90",
			     "device_destroy sg90", "class_destroy sg90_class",
			     "unregister_chrdev sg90"}}),
	[](const ::testing::TestParamInfo<LoadFailure> &info) { return info.param.site; });

}  // namespace
