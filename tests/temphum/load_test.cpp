#include <vector>

#include "temphum_fixture.hpp"

namespace {

using ksim::user::Buffer;
namespace dt = ksim::dt;
namespace fs = ksim::fs;
namespace modules = ksim::modules;
namespace bus = ksim::bus;
using Calls = std::vector<std::string>;

TEST_F(TemphumTest, LoadPublishesTheNodeAndBindsToTheMatchingNode)
{
	load_bound();
	EXPECT_TRUE(fs::exists("/dev/dht11"));
	EXPECT_EQ(bus::driver(node_name), "my_dht11");
	EXPECT_EQ(ksim::events("core"),
		  (Calls{"register_chrdev dht11", "class_create dht11_class", "device_create dht11",
			 "platform_driver_register my_dht11", "probe my_dht11 dht11@0"}));
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{{ksim::log::default_level, "DHT11_PIN = 17\n"},
						 {ksim::log::default_level, "dht11 probe run\n"}}));
	// The bus idles high until the first read.
	EXPECT_TRUE(line.is_output());
	EXPECT_EQ(line.level(), 1);
	EXPECT_EQ(modules::info("temphum_drv", "license"), Calls{"GPL"});
}

TEST_F(TemphumTest, WithoutAMatchingNodeTheNodeExistsButReadsDriveNoLine)
{
	dt::add({"sr501@0", {"hc-sr501"}, {{pin, 0}}, {}});
	ASSERT_EQ(modules::load("temphum_drv"), 0);
	EXPECT_TRUE(fs::exists("/dev/dht11"));
	EXPECT_FALSE(bus::bound("sr501@0"));

	Buffer buf(5, 0xee);
	EXPECT_EQ(read_node(buf.data(), 5), -ENODEV);
	EXPECT_EQ(buf.bytes(), std::vector<std::uint8_t>(5, 0xee));
	EXPECT_FALSE(line.ever_output());
	EXPECT_EQ(sensor.answers() + sensor.short_starts(), 0U);
	EXPECT_EQ(ksim::time::now(), 0U);
}

TEST_F(TemphumTest, UnloadRemovesThenDestroysNodeAndClassAndReleasesTheMajorLast)
{
	load_bound();
	ksim::clear_events();
	ASSERT_EQ(modules::unload("temphum_drv"), 0);
	EXPECT_EQ(ksim::events("core"),
		  (Calls{"platform_driver_unregister my_dht11", "remove my_dht11 dht11@0",
			 "device_destroy dht11", "class_destroy dht11_class",
			 "unregister_chrdev dht11"}));
	EXPECT_FALSE(fs::exists("/dev/dht11"));
	EXPECT_FALSE(bus::bound(node_name));
}

TEST_F(TemphumTest, ReloadTakesWhateverMajorIsFreeAndServesReadsAgain)
{
	load_bound();
	unsigned first = MAJOR(fs::devt("/dev/dht11"));
	ASSERT_EQ(modules::unload("temphum_drv"), 0);
	// Another driver takes the major meanwhile.
	static const struct file_operations other = {};
	ASSERT_EQ(__register_chrdev(0, 0, 256, "other", &other), static_cast<int>(first));

	ASSERT_EQ(modules::load("temphum_drv"), 0);
	unsigned second = MAJOR(fs::devt("/dev/dht11"));
	EXPECT_NE(second, first);
	sensor.set_record(ksim::hw::Dht11::reading(40, 0, 21, 3));
	Buffer buf(5);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), (std::vector<std::uint8_t>{40, 0, 21, 3, 64}));
}

struct LoadFault {
	const char *site;
	int error;
	Calls calls;
};

void PrintTo(const LoadFault &fault, std::ostream *out)
{
	*out << fault.site;
}

class TemphumLoadFault : public TemphumTest, public ::testing::WithParamInterface<LoadFault> {};

TEST_P(TemphumLoadFault, AFailedStepUnwindsTheDoneStepsInReverseAndReturnsTheError)
{
	const LoadFault &fault = GetParam();
	dt::add(node);
	ksim::fault::inject(fault.site, fault.error);
	EXPECT_EQ(modules::load("temphum_drv"), fault.error);
	EXPECT_EQ(ksim::events("core"), fault.calls);
	EXPECT_FALSE(modules::loaded("temphum_drv"));
	EXPECT_TRUE(fs::nodes().empty());
	EXPECT_FALSE(bus::bound(node_name));

	// Nothing was left behind that would stop a clean load.
	EXPECT_EQ(modules::load("temphum_drv"), 0);
	EXPECT_TRUE(bus::bound(node_name));
}

INSTANTIATE_TEST_SUITE_P(
	EachStep, TemphumLoadFault,
	::testing::Values(
		LoadFault{"register_chrdev", -EBUSY, {}},
		LoadFault{"class_create", -ENOMEM, {"register_chrdev dht11", "unregister_chrdev dht11"}},
		LoadFault{"device_create", -ENOMEM,
			  {"register_chrdev dht11", "class_create dht11_class",
			   "class_destroy dht11_class", "unregister_chrdev dht11"}},
		LoadFault{"platform_driver_register", -ENOMEM,
			  {"register_chrdev dht11", "class_create dht11_class", "device_create dht11",
			   "device_destroy dht11", "class_destroy dht11_class",
			   "unregister_chrdev dht11"}}),
	[](const auto &info) { return std::string(info.param.site); });

TEST_F(TemphumTest, UnbindForgetsTheLineUntilTheNextProbe)
{
	load_bound();
	bus::unbind(node_name);
	Buffer buf(5);
	EXPECT_EQ(read_node(buf.data(), 5), -ENODEV);
	EXPECT_EQ(sensor.answers(), 0U);

	ASSERT_EQ(bus::bind(node_name), 0);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(sensor.answers(), 1U);
}

TEST_F(TemphumTest, ASecondSensorNodeIsRefusedAndTheFirstKeepsItsLine)
{
	load_bound();
	dt::add({"dht11@1", {"hc-dht11"}, {{pin + 1, 0}}, {}});
	EXPECT_FALSE(bus::bound("dht11@1"));
	EXPECT_EQ(bus::last_probe_result("dht11@1"), -EBUSY);
	EXPECT_FALSE(ksim::gpio::line(pin + 1).ever_output());

	Buffer buf(5);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(sensor.answers(), 1U);
}

TEST_F(TemphumTest, ANodeWithoutALineFailsTheProbe)
{
	dt::add({node_name, {"hc-dht11"}, {}, {}});
	ASSERT_EQ(modules::load("temphum_drv"), 0);
	EXPECT_FALSE(bus::bound(node_name));
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_WARNING,
					"my_dht11: probe of dht11@0 failed with error -2\n"));
}

}  // namespace
