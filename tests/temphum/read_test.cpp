#include <random>
#include <vector>

#include "temphum_fixture.hpp"

namespace {

using ksim::hw::Dht11;
using ksim::time::ms;
using ksim::time::us;
using ksim::user::Buffer;
using Bytes = std::vector<std::uint8_t>;

Bytes bytes_of(const Dht11::Record &record)
{
	return Bytes(record.begin(), record.end());
}

Bytes untouched(size_t size)
{
	return Bytes(size, 0xee);
}

class TemphumRead : public TemphumTest {
protected:
	void SetUp() override { load_bound(); }
};

TEST_F(TemphumRead, TheRecordArrivesInOrderEachByteMostSignificantBitFirst)
{
	sensor.set_record({0x81, 0x42, 0x24, 0x18, 0xff});
	Buffer buf(5, 0xee);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), (Bytes{0x81, 0x42, 0x24, 0x18, 0xff}));
	EXPECT_EQ(sensor.answers(), 1U);
	// Released between reads, once the sensor ends its frame.
	EXPECT_FALSE(line.is_output());
	ksim::time::advance(Dht11::end_low);
	EXPECT_EQ(line.level(), 1);
}

TEST_F(TemphumRead, AnExchangeKeepsInterruptsOffForAbout23To25Ms)
{
	for (Dht11::Record record : {Dht11::Record{0, 0, 0, 0, 0},
				     Dht11::Record{0xff, 0xff, 0xff, 0xff, 0xff}}) {
		wait_for_rest();
		sensor.set_record(record);
		Buffer buf(5);
		ASSERT_EQ(read_node(buf.data(), 5), 0);
		EXPECT_EQ(buf.bytes(), bytes_of(record));
		// All zeros is the shortest exchange, all ones (120 us a bit) the longest.
		EXPECT_GE(ksim::irq::longest_off_window(), ms(23));
		EXPECT_LE(ksim::irq::longest_off_window(), ms(25) + us(100));
	}
}

TEST_F(TemphumRead, AShortReadCopiesThatManyBytesALongOneTheWholeRecord)
{
	Dht11::Record record = Dht11::reading(55, 1, 23, 4);
	sensor.set_record(record);

	Buffer two(5, 0xee);
	EXPECT_EQ(read_node(two.data(), 2), 0);
	EXPECT_EQ(two.bytes(), (Bytes{55, 1, 0xee, 0xee, 0xee}));
	EXPECT_EQ(sensor.answers(), 1U);

	wait_for_rest();
	Buffer large(64, 0xee);
	EXPECT_EQ(read_node(large.data(), large.size()), 0);
	Bytes expected = untouched(64);
	std::copy(record.begin(), record.end(), expected.begin());
	EXPECT_EQ(large.bytes(), expected);
	EXPECT_EQ(sensor.answers(), 2U);
}

TEST_F(TemphumRead, BackToBackReadsGetOneRecordThenNotRespondingUntilTheSensorHasRested)
{
	Buffer buf(5);
	sensor.set_record({0xff, 0xff, 0xff, 0xff, 0xfc});
	ASSERT_EQ(read_node(buf.data(), 5), 0);
	sensor.set_record({0, 0, 0, 0, 0});
	// At once, and still 0.9 s later: the sensor rests a second.
	for (auto pause : {ms(0), ms(900)}) {
		ksim::time::advance(pause);
		ksim::log::clear();
		Buffer refused(5, 0xee);
		EXPECT_EQ(read_node(refused.data(), 5), -EIO);
		EXPECT_EQ(refused.bytes(), untouched(5));
		EXPECT_EQ(ksim::log::entries(),
			  (std::vector<ksim::log::Entry>{
				  {LOGLEVEL_ERR, "DHT11 sensor not responding\n"}}));
	}
	ksim::time::advance(ms(100));
	ASSERT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), Bytes(5, 0));
	EXPECT_EQ(sensor.answers(), 2U);
	EXPECT_EQ(sensor.short_starts(), 0U);
}

TEST_F(TemphumRead, ABadChecksumIsPassedOnUnchanged)
{
	sensor.set_record({1, 2, 3, 4, 99});
	Buffer buf(5);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), (Bytes{1, 2, 3, 4, 99}));
}

TEST_F(TemphumRead, JitterStillGivesExactRecordsAtEitherEndOfTheWakeUp)
{
	sensor.set_jitter(us(4), 7);
	std::mt19937 random(11);
	std::uniform_int_distribution<int> byte(0, 255);
	for (auto wake_up : {Dht11::min_wake_up, Dht11::max_wake_up}) {
		sensor.set_wake_up(wake_up);
		for (int i = 0; i < 25; i++) {
			Dht11::Record record{};
			for (auto &b : record)
				b = static_cast<std::uint8_t>(byte(random));
			sensor.set_record(record);
			wait_for_rest();
			Buffer buf(5);
			ASSERT_EQ(read_node(buf.data(), 5), 0) << "wake-up " << wake_up << " ns, read " << i;
			ASSERT_EQ(buf.bytes(), bytes_of(record)) << "wake-up " << wake_up << " ns, read " << i;
		}
	}
}

TEST_F(TemphumRead, ABufferOutsideTheCallersLimitGetsNothingAndNoMeasurement)
{
	EXPECT_EQ(read_node(ksim::user::kernel_address(), 5), -EFAULT);
	EXPECT_TRUE(ksim::user::kernel_memory_untouched());
	EXPECT_EQ(sensor.answers(), 0U);
}

// access_ok passes a buffer mapped for fewer bytes than asked: the sensor
// is read, the copy fills what is mapped and faults after it.
TEST_F(TemphumRead, ABufferMappedForFewerBytesGetsThoseAndEfault)
{
	Dht11::Record record = Dht11::reading(55, 1, 23, 4);
	sensor.set_record(record);
	Buffer short_buf(3, 0xee);
	EXPECT_EQ(read_node(short_buf.data(), 5), -EFAULT);
	EXPECT_EQ(short_buf.bytes(), (Bytes{55, 1, 23}));
	EXPECT_EQ(sensor.answers(), 1U);
}

enum class Silence { absent, stuck_low };

void PrintTo(Silence silence, std::ostream *out)
{
	*out << (silence == Silence::absent ? "absent" : "stuck low");
}

class TemphumNotResponding : public TemphumRead,
			     public ::testing::WithParamInterface<Silence> {};

TEST_P(TemphumNotResponding, TheReadFailsWithEioAndOneErrorLineAndCopiesNothing)
{
	Dht11::Record first = Dht11::reading(30, 0, 20, 0);
	sensor.set_record(first);
	Buffer buf(5, 0xee);
	ASSERT_EQ(read_node(buf.data(), 5), 0);

	wait_for_rest();
	if (GetParam() == Silence::absent)
		sensor.set_absent(true);
	else
		sensor.set_stuck_low(true);
	ksim::log::clear();
	Buffer failed(5, 0xee);
	EXPECT_EQ(read_node(failed.data(), 5), -EIO);
	EXPECT_EQ(failed.bytes(), untouched(5));
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{{LOGLEVEL_ERR, "DHT11 sensor not responding\n"}}));
	// Start signal, release and one bounded wait for the response.
	EXPECT_GE(ksim::irq::longest_off_window(), ms(20));
	EXPECT_LE(ksim::irq::longest_off_window(), ms(20) + us(300));

	sensor.clear_faults();
	Dht11::Record second = Dht11::reading(31, 0, 19, 0);
	sensor.set_record(second);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), bytes_of(second));
}

INSTANTIATE_TEST_SUITE_P(Faults, TemphumNotResponding,
			 ::testing::Values(Silence::absent, Silence::stuck_low),
			 [](const auto &info) {
				 return info.param == Silence::absent ? "Absent" : "StuckLow";
			 });

struct Stall {
	unsigned bits;
	bool hold_low;
};

void PrintTo(const Stall &stall, std::ostream *out)
{
	*out << stall.bits << (stall.hold_low ? " bits, then low" : " bits, then high");
}

class TemphumStall : public TemphumRead, public ::testing::WithParamInterface<Stall> {};

TEST_P(TemphumStall, AStallFailsWithEioWithinItsBoundAndSpoilsNoRecord)
{
	const Stall &stall = GetParam();
	Dht11::Record good = Dht11::reading(45, 0, 22, 0);
	sensor.set_record(good);
	Buffer buf(5);
	ASSERT_EQ(read_node(buf.data(), 5), 0);

	wait_for_rest();
	sensor.set_record({0xff, 0xff, 0xff, 0xff, 0xff});
	sensor.stop_after(stall.bits, stall.hold_low);
	ksim::log::clear();
	Buffer failed(5, 0xee);
	EXPECT_EQ(read_node(failed.data(), 5), -EIO);
	EXPECT_EQ(failed.bytes(), untouched(5));
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{
			  {LOGLEVEL_ERR,
			   "DHT11 sensor stalled after " + std::to_string(stall.bits) + " bits\n"}}));
	// The bits that came, then one bounded wait: never a hang.
	EXPECT_LE(ksim::irq::longest_off_window(), ms(20) + us(200) + stall.bits * us(120) + us(300));

	sensor.clear_faults();
	wait_for_rest();
	sensor.set_record(good);
	EXPECT_EQ(read_node(buf.data(), 5), 0);
	EXPECT_EQ(buf.bytes(), bytes_of(good));
}

INSTANTIATE_TEST_SUITE_P(Faults, TemphumStall,
			 ::testing::Values(Stall{0, false}, Stall{13, false}, Stall{39, false},
					   Stall{0, true}, Stall{21, true}, Stall{39, true}),
			 [](const auto &info) {
				 return std::to_string(info.param.bits) +
					(info.param.hold_low ? "BitsThenLow" : "BitsThenHigh");
			 });

}  // namespace
