// The hwmon, IIO and input cores: what 4.1 refuses, warns about or oopses on.
#include <linux/hwmon.h>
#include <linux/iio/iio.h>
#include <linux/input.h>

#include <gmock/gmock.h>

#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class StdInterfaces : public ksim::Test {
protected:
	struct device *dev = platform::add("sensor");
};

TEST_F(StdInterfaces, HwmonRefusesNamesLibsensorsCannotParseAndNumbersDevices)
{
	for (const char *name : {"", "dht-11", "dht 11", "dht*"})
		EXPECT_EQ(PTR_ERR(hwmon_device_register_with_groups(dev, name, nullptr, nullptr)),
			  -EINVAL)
			<< name;
	struct device *first = hwmon_device_register_with_groups(dev, "a", nullptr, nullptr);
	devm_hwmon_device_register_with_groups(dev, "b", nullptr, nullptr);
	hwmon_device_unregister(first);
	devm_hwmon_device_register_with_groups(dev, "c", nullptr, nullptr);
	EXPECT_EQ(sysfs::read("/sys/class/hwmon/hwmon0/name").text, "c\n");
	EXPECT_EQ(sysfs::read("/sys/class/hwmon/hwmon1/name").text, "b\n");

	dt::remove("sensor");
	EXPECT_TRUE(sysfs::list("/sys/class/hwmon").empty());
}

TEST_F(StdInterfaces, AnIioDeviceIsRegisteredOnceWithItsInfo)
{
	struct iio_dev *indio_dev = devm_iio_device_alloc(dev, 0);
	EXPECT_EQ(devm_iio_device_register(dev, indio_dev), -EINVAL);
	static const struct iio_info info = {nullptr, [](struct iio_dev *, const struct iio_chan_spec *,
							 int *, int *, long) { return 0; }};
	indio_dev->info = &info;
	EXPECT_EQ(devm_iio_device_register(dev, indio_dev), 0);
	EXPECT_EQ(devm_iio_device_register(dev, indio_dev), -EEXIST);
	EXPECT_THAT(violations::take(),
		    ElementsAre(HasSubstr("without info"), HasSubstr("of a registered device")));
	dt::remove("sensor");
	EXPECT_TRUE(sysfs::list("/sys/bus/iio/devices").empty());
}

TEST_F(StdInterfaces, AnInputDeviceIsRegisteredOnceAndNotTouchedOnceFreed)
{
	struct input_dev *input = devm_input_allocate_device(dev);
	input->name = "switch";
	input_set_capability(input, EV_SW, SW_FRONT_PROXIMITY);
	ASSERT_EQ(input_register_device(input), 0);
	EXPECT_EQ(input_register_device(input), -EINVAL);
	{
		// A sync with no change before it passes nothing.
		ContextScope irq(Context::hardirq);
		input_report_switch(input, SW_FRONT_PROXIMITY, 1);
		input_report_switch(input, SW_FRONT_PROXIMITY, 1);
		input_sync(input);
		input_sync(input);
	}
	EXPECT_EQ(input::events("switch").size(), 2u);

	dt::remove("sensor");
	EXPECT_FALSE(input::registered("switch"));
	input_sync(input);
	EXPECT_THAT(violations::take(), ElementsAre(HasSubstr("of a registered device"),
						    HasSubstr("already freed")));
}

TEST_F(StdInterfaces, RegisteringFromAtomicContextIsAViolation)
{
	{
		ContextScope timer(Context::timer);
		devm_input_allocate_device(dev);
		devm_iio_device_alloc(dev, 0);
		hwmon_device_register_with_groups(dev, "x", nullptr, nullptr);
	}
	EXPECT_EQ(violations::take().size(), 3u);
	dt::remove("sensor");
}

}  // namespace
