// The AP3216C as an IIO device: its three words on demand, while bound.
#include "sensor_fixture.hpp"

namespace lightprox_test {
namespace {

namespace sysfs = ksim::sysfs;
using ksim::time::ms;

const std::string iio_devices = "/sys/bus/iio/devices";
const std::string iio = iio_devices + "/iio:device0/";

class Iio : public SensorTest {
protected:
	Iio()
	{
		chip.set_measurement(Ap3216c::als_data, 0x1234);
		chip.set_measurement(Ap3216c::ps_data, 0x0321);
		chip.set_measurement(Ap3216c::ir_data, 0x03ff);
	}

	static std::string seen(const std::string &file)
	{
		sysfs::Read read = sysfs::read(iio + file);
		return read.result < 0 ? std::to_string(read.result) : read.text;
	}
};

TEST_F(Iio, AFirstReadWakesTheChipAndEveryReadGivesTheWordTheNodeGives)
{
	bind();
	EXPECT_EQ(seen("name"), "ap3216c\n");
	EXPECT_EQ(seen("in_illuminance_raw"), "4660\n");
	EXPECT_EQ(chip.mode(), Ap3216c::mode_als_ps_ir);
	EXPECT_GE(ksim::time::now(), ms(15 + 100));
	EXPECT_EQ(seen("in_proximity_raw"), "801\n");
	EXPECT_EQ(seen("in_intensity_ir_raw"), "1023\n");

	chip.set_measurement(Ap3216c::ps_data, 0x0102);
	int fd = ksim::fs::open(node);
	ksim::user::Buffer record(6);
	ASSERT_EQ(ksim::fs::read(fd, record.data(), 6), 0);
	EXPECT_EQ(record.bytes(), (std::vector<std::uint8_t>{0x03, 0xff, 0x12, 0x34, 0x01, 0x02}));
	EXPECT_EQ(seen("in_proximity_raw"), "258\n");
	EXPECT_EQ(ksim::fs::close(fd), 0);

	ksim::fault::inject("i2c_smbus_read_word_data", -EREMOTEIO);
	EXPECT_EQ(seen("in_illuminance_raw"), std::to_string(-EREMOTEIO));
}

TEST_F(Iio, ItComesWithTheBindingAndGoesWithIt)
{
	ASSERT_EQ(ksim::modules::load("lightprox_drv"), 0);
	EXPECT_TRUE(sysfs::list(iio_devices).empty());
	ASSERT_EQ(ksim::modules::load("lightprox_board"), 0);
	ASSERT_EQ(sysfs::list(iio_devices), std::vector<std::string>{"iio:device0"});
	ASSERT_EQ(seen("in_illuminance_raw"), "4660\n");

	sysfs::Read waited{};
	ksim::bus::unbind(client, [&] { waited = sysfs::read(iio + "in_illuminance_raw"); });
	EXPECT_EQ(waited.result, -ENODEV);
	EXPECT_TRUE(sysfs::list(iio_devices).empty());

	// Bound anew, the chip is woken anew.
	chip.write_byte_data(Ap3216c::sys_config, Ap3216c::mode_sw_reset);
	ASSERT_EQ(ksim::bus::bind(client), 0);
	EXPECT_EQ(seen("in_illuminance_raw"), "4660\n");

	ASSERT_EQ(ksim::modules::unload("lightprox_board"), 0);
	EXPECT_TRUE(sysfs::list(iio_devices).empty());
}

}  // namespace
}  // namespace lightprox_test
