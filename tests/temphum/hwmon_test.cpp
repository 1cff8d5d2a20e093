// The DHT11 as the hwmon device "dht11": decoding, the 2 s a good record
// serves, failures as -EIO, and unbinding.
#include <vector>

#include "temphum_fixture.hpp"

namespace {

using ksim::hw::Dht11;
using ksim::time::ms;
namespace sysfs = ksim::sysfs;

const std::string hwmon = "/sys/class/hwmon/hwmon0/";

class TemphumHwmon : public TemphumTest {
protected:
	void SetUp() override { load_bound(); }

	static sysfs::Read temperature() { return sysfs::read(hwmon + "temp1_input"); }
	static sysfs::Read humidity() { return sysfs::read(hwmon + "humidity1_input"); }
	// What a reader sees: the text, or the error.
	static std::string seen(const sysfs::Read &read)
	{
		return read.result < 0 ? std::to_string(read.result) : read.text;
	}
};

struct Decoding {
	Dht11::Record record;
	const char *temperature, *humidity;
};

void PrintTo(const Decoding &decoding, std::ostream *out)
{
	for (unsigned byte : decoding.record)
		*out << byte << " ";
}

class TemphumHwmonDecoding : public TemphumHwmon,
			     public ::testing::WithParamInterface<Decoding> {};

TEST_P(TemphumHwmonDecoding, IntegralAndTenthsBytesGiveThousandths)
{
	sensor.set_record(GetParam().record);
	EXPECT_EQ(seen(temperature()), GetParam().temperature);
	EXPECT_EQ(seen(humidity()), GetParam().humidity);
}

INSTANTIATE_TEST_SUITE_P(
	Records, TemphumHwmonDecoding,
	::testing::Values(Decoding{Dht11::reading(55, 0, 23, 0), "23000\n", "55000\n"},
			  Decoding{Dht11::reading(40, 5, 21, 7), "21700\n", "40500\n"},
			  Decoding{Dht11::reading(0, 9, 0, 1), "100\n", "900\n"},
			  Decoding{Dht11::reading(95, 0, 50, 9), "50900\n", "95000\n"},
			  // Bytes that are no tenths are no reading.
			  Decoding{Dht11::reading(60, 0, 1, 0x85), "-5", "60000\n"},
			  Decoding{Dht11::reading(60, 10, 20, 0), "20000\n", "-5"},
			  Decoding{{55, 0, 23, 0, 77}, "-5", "-5"}));

TEST_F(TemphumHwmon, IsNamedDht11)
{
	EXPECT_EQ(sysfs::list("/sys/class/hwmon"), std::vector<std::string>{"hwmon0"});
	EXPECT_EQ(sysfs::read(hwmon + "name").text, "dht11\n");
}

TEST_F(TemphumHwmon, AGoodRecordServesBothReadingsFor2SThenANewExchangeRuns)
{
	sensor.set_record(Dht11::reading(50, 0, 20, 0));
	ksim::time::advance_to(ms(5000));
	EXPECT_EQ(seen(temperature()), "20000\n");
	sensor.set_record(Dht11::reading(60, 0, 30, 0));
	ksim::time::advance_to(ms(6990));
	EXPECT_EQ(seen(humidity()), "50000\n");
	EXPECT_EQ(seen(temperature()), "20000\n");
	EXPECT_EQ(sensor.answers(), 1U);

	// Two seconds after the first exchange ended.
	ksim::time::advance_to(ms(7030));
	EXPECT_EQ(seen(humidity()), "60000\n");
	EXPECT_EQ(sensor.answers(), 2U);
}

TEST_F(TemphumHwmon, AFailedOrCorruptExchangeGivesEioNeverTheLastValues)
{
	sensor.set_record(Dht11::reading(50, 0, 20, 0));
	ASSERT_EQ(seen(temperature()), "20000\n");

	ksim::time::advance(ms(2000));
	sensor.set_absent(true);
	EXPECT_EQ(temperature().result, -EIO);
	EXPECT_EQ(humidity().result, -EIO);

	sensor.set_absent(false);
	sensor.set_record({50, 0, 21, 0, 0});
	ksim::time::advance(ms(2000));
	EXPECT_EQ(temperature().result, -EIO);

	// A corrupt record read through the node spoils the one hwmon holds.
	sensor.set_record(Dht11::reading(50, 0, 22, 0));
	ksim::time::advance(ms(2000));
	ASSERT_EQ(seen(temperature()), "22000\n");
	wait_for_rest();
	sensor.set_record({50, 0, 23, 0, 0});
	ksim::user::Buffer buf(5);
	ASSERT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(temperature().result, -EIO);
}

TEST_F(TemphumHwmon, AReaderWaitingThroughUnbindGetsEnodevAndTheDeviceGoes)
{
	sensor.set_record(Dht11::reading(50, 0, 20, 0));
	ASSERT_EQ(seen(temperature()), "20000\n");

	sysfs::Read waited{};
	ksim::bus::unbind(node_name, [&] { waited = temperature(); });
	EXPECT_EQ(waited.result, -ENODEV);
	EXPECT_TRUE(sysfs::list("/sys/class/hwmon").empty());

	// A new binding measures afresh.
	sensor.set_record(Dht11::reading(50, 0, 25, 0));
	ASSERT_EQ(ksim::bus::bind(node_name), 0);
	wait_for_rest();
	EXPECT_EQ(seen(temperature()), "25000\n");
	EXPECT_EQ(sensor.answers(), 2U);
}

}  // namespace
