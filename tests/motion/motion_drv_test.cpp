// motion_drv on the host kernel model, in virtual time: a PIR sensor on
// GPIO 17, user processes that own their files' SIGIO, and the signals the
// driver's debounce timer sends them.
#include <fcntl.h>
#include <linux/kern_levels.h>

#include <cerrno>
#include <vector>

#include "ksim/hw/pir.hpp"
#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using time::ms;
using time::Nanoseconds;
using time::us;

constexpr unsigned sensor_gpio = 17;
const dt::Node sensor_node{"pir", {"hc-sr501"}, {{sensor_gpio, 0}}, {}};
constexpr pid_t monitor = 101;
// jiffies wraps to 0 this long after boot.
constexpr Nanoseconds jiffies_zero = 300ull * 1000 * ms(1);

class MotionDrv : public ksim::Test {
protected:
	void load_bound()
	{
		dt::add(sensor_node);
		ASSERT_EQ(modules::load("motion_drv"), 0);
		ASSERT_TRUE(bus::bound("pir"));
	}

	// Opens the node as a monitor does: owner of its SIGIO, FASYNC on.
	int subscribe(pid_t owner)
	{
		int fd = fs::open("/dev/sr501");
		EXPECT_GE(fd, 0);
		EXPECT_EQ(fs::fcntl(fd, F_SETOWN, owner), 0);
		int flags = fs::fcntl(fd, F_GETFL);
		EXPECT_EQ(fs::fcntl(fd, F_SETFL, flags | FASYNC), 0);
		return fd;
	}

	static void unsubscribe(int fd)
	{
		EXPECT_EQ(fs::fcntl(fd, F_SETFL, fs::fcntl(fd, F_GETFL) & ~FASYNC), 0);
	}

	// The byte a one-byte read delivers; the read itself returns 1.
	static int read_level(int fd)
	{
		user::Buffer byte(1, 0xee);
		EXPECT_EQ(fs::read(fd, byte.data(), 1), 1);
		return byte[0];
	}

	// When `owner` got SIGIO with band POLL_IN; any other signal fails.
	static std::vector<Nanoseconds> sigio_times(pid_t owner)
	{
		const std::string to = "pid " + std::to_string(owner) + " fd ";
		const std::string sigio = " SIGIO POLL_IN";
		std::vector<Nanoseconds> times;
		for (const Event &e : events()) {
			if (e.kind != "signal" || e.text.rfind(to, 0) != 0)
				continue;
			EXPECT_EQ(e.text.substr(e.text.find(' ', to.size())), sigio) << e.text;
			times.push_back(e.at);
		}
		return times;
	}

	hw::Pir pir{sensor_gpio};
};

TEST_F(MotionDrv, AnIsolatedEdgeNotifiesOnceTenToTwentyMillisecondsLater)
{
	load_bound();
	int fd = subscribe(monitor);
	// Anywhere within a tick: on it, just after it, midway, just before
	// the next.
	const Nanoseconds offsets[] = {0, us(1), ms(5), ms(10) - us(1)};
	Nanoseconds edge = ms(1000);
	for (Nanoseconds offset : offsets) {
		edge += ms(1000);
		const std::size_t before = sigio_times(monitor).size();
		pir.set_at(edge + offset, pir.output() ^ 1);
		time::advance_to(edge + ms(500));
		auto times = sigio_times(monitor);
		ASSERT_EQ(times.size(), before + 1) << "offset " << offset;
		EXPECT_GE(times.back() - (edge + offset), ms(10)) << "offset " << offset;
		EXPECT_LE(times.back() - (edge + offset), ms(20)) << "offset " << offset;
	}
	EXPECT_EQ(events("signal").back(), "pid 101 fd " + std::to_string(fd) + " SIGIO POLL_IN");
}

TEST_F(MotionDrv, BurstsAndBounceSettleIntoOneSignalAfterTheLastEdge)
{
	load_bound();
	subscribe(monitor);
	const Nanoseconds burst = ms(1002);
	pir.burst(burst, 1, 20, ms(5));
	const Nanoseconds last_of_burst = burst + 19 * ms(5);
	time::advance_to(ms(1500));
	ASSERT_EQ(sigio_times(monitor).size(), 1u);
	EXPECT_GE(sigio_times(monitor)[0] - last_of_burst, ms(10));
	EXPECT_LE(sigio_times(monitor)[0] - last_of_burst, ms(20));
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio))->handled, 20u);

	const Nanoseconds bounce = ms(2007);
	pir.bounce(bounce, 1, 3, ms(2));
	time::advance_to(ms(2500));
	ASSERT_EQ(sigio_times(monitor).size(), 2u);
	EXPECT_LE(sigio_times(monitor)[1] - (bounce + 6 * ms(2)), ms(20));
}

TEST_F(MotionDrv, ArrivalAndDepartureEachNotifyAndTheReadsFollowTheLine)
{
	load_bound();
	int fd = subscribe(monitor);
	pir.set_at(ms(1000), 1);
	pir.set_at(ms(4000), 0);

	time::advance_to(ms(1030));
	EXPECT_EQ(sigio_times(monitor).size(), 1u);
	EXPECT_EQ(read_level(fd), 1);

	time::advance_to(ms(4030));
	EXPECT_EQ(sigio_times(monitor).size(), 2u);
	EXPECT_EQ(read_level(fd), 0);
}

TEST_F(MotionDrv, EveryRegisteredFileGetsOneSignalPerExpiry)
{
	load_bound();
	const pid_t owners[] = {101, 102, 103};
	for (pid_t owner : owners)
		subscribe(owner);
	int bystander = fs::open("/dev/sr501");
	ASSERT_GE(bystander, 0);
	EXPECT_EQ(fs::fcntl(bystander, F_SETOWN, 104), 0);

	pir.set_at(ms(1000), 1);
	pir.set_at(ms(2000), 0);
	time::advance_to(ms(3000));
	for (pid_t owner : owners) {
		auto times = sigio_times(owner);
		ASSERT_EQ(times.size(), 2u) << "owner " << owner;
		EXPECT_NE(times[0], times[1]);
	}
	EXPECT_TRUE(sigio_times(104).empty());
}

TEST_F(MotionDrv, ClearingFasyncOrClosingStopsOnlyThatFile)
{
	load_bound();
	int cleared = subscribe(101);
	int closed = subscribe(102);
	subscribe(103);
	pir.set_at(ms(1000), 1);
	time::advance_to(ms(1500));

	unsubscribe(cleared);
	EXPECT_FALSE(fs::fcntl(cleared, F_GETFL) & FASYNC);
	EXPECT_EQ(fs::close(closed), 0);
	EXPECT_EQ(fasync::entries(), 1u);

	pir.set_at(ms(2000), 0);
	time::advance_to(ms(2500));
	EXPECT_EQ(sigio_times(101).size(), 1u);
	EXPECT_EQ(sigio_times(102).size(), 1u);
	EXPECT_EQ(sigio_times(103).size(), 2u);
}

TEST_F(MotionDrv, AFailedSubscriptionFailsTheFcntlAndSendsNothing)
{
	load_bound();
	int fd = fs::open("/dev/sr501");
	EXPECT_EQ(fs::fcntl(fd, F_SETOWN, monitor), 0);
	fault::inject("fasync_helper", -ENOMEM);
	EXPECT_EQ(fs::fcntl(fd, F_SETFL, fs::fcntl(fd, F_GETFL) | FASYNC), -ENOMEM);
	EXPECT_FALSE(fs::fcntl(fd, F_GETFL) & FASYNC);

	pir.set_at(ms(1000), 1);
	time::advance_to(ms(1500));
	EXPECT_TRUE(events("signal").empty());
}

TEST_F(MotionDrv, ProbeStartsTheTimerForOneExpiryWhenJiffiesReachZero)
{
	ASSERT_EQ(modules::load("motion_drv"), 0);
	subscribe(monitor); // files may register before any sensor is bound
	time::advance_to(ms(5000));
	dt::add(sensor_node);
	ASSERT_TRUE(bus::bound("pir"));
	EXPECT_EQ(timer::due_times(), std::vector<Nanoseconds>{jiffies_zero});

	time::advance_to(2 * jiffies_zero);
	auto times = sigio_times(monitor);
	ASSERT_EQ(times.size(), 1u);
	EXPECT_EQ(times[0], jiffies_zero);
	EXPECT_TRUE(timer::due_times().empty());
}

TEST_F(MotionDrv, ProbeAfterJiffiesPassedZeroExpiresAtTheNextTick)
{
	ASSERT_EQ(modules::load("motion_drv"), 0);
	subscribe(monitor);
	time::advance_to(jiffies_zero + ms(4003));
	dt::add(sensor_node);

	time::advance_to(jiffies_zero + ms(9000));
	auto times = sigio_times(monitor);
	ASSERT_EQ(times.size(), 1u);
	EXPECT_EQ(times[0], jiffies_zero + ms(4010));
}

TEST_F(MotionDrv, RemoveWhileEdgesArriveLeavesNothingArmedAndRebindsCleanly)
{
	load_bound();
	int fd = subscribe(monitor);
	pir.burst(ms(1000), 1, 41, ms(5));
	time::advance_to(ms(1052));
	EXPECT_EQ(timer::due_times(), std::vector<Nanoseconds>{ms(1070)});

	bus::unbind("pir");
	EXPECT_TRUE(timer::due_times().empty());
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio)), nullptr);
	EXPECT_FALSE(gpio::line(sensor_gpio).requested());
	time::advance_to(ms(2000));
	EXPECT_TRUE(events("signal").empty());
	EXPECT_EQ(read_level(fd), 0); // unbound: no line is sampled, though it is high

	ASSERT_EQ(bus::bind("pir"), 0);
	pir.set_at(ms(3000), 0);
	time::advance_to(ms(3500));
	EXPECT_EQ(sigio_times(monitor).size(), 1u);
	EXPECT_EQ(read_level(fd), 0);
}

TEST_F(MotionDrv, AfterUnbindAReadLeavesTheReleasedLineAloneAndReadsZero)
{
	load_bound();
	int fd = fs::open("/dev/sr501");
	ASSERT_GE(fd, 0);
	pir.set(1);
	const gpio::Line &line = gpio::line(sensor_gpio);

	bus::unbind("pir");
	const unsigned reads_when_released = line.host_reads();
	EXPECT_EQ(read_level(fd), 0);
	EXPECT_EQ(line.host_reads(), reads_when_released);

	ASSERT_EQ(bus::bind("pir"), 0);
	EXPECT_EQ(read_level(fd), 1);
	EXPECT_EQ(line.host_reads(), reads_when_released + 1);
}

// The line is high throughout: a read that sampled it would show 1.
TEST_F(MotionDrv, AfterAFailedProbeAReadSamplesNoLine)
{
	pir.set(1);
	ASSERT_EQ(modules::load("motion_drv"), 0);
	int fd = fs::open("/dev/sr501");
	ASSERT_GE(fd, 0);
	const gpio::Line &line = gpio::line(sensor_gpio);

	fault::inject("request_irq", -EBUSY);
	dt::add(sensor_node);
	ASSERT_FALSE(bus::bound("pir"));
	EXPECT_EQ(read_level(fd), 0);

	// A line someone else holds is not the driver's to read either.
	fault::inject("gpio_request", -EBUSY);
	ASSERT_EQ(bus::bind("pir"), -EBUSY);
	EXPECT_EQ(read_level(fd), 0);
	EXPECT_EQ(line.host_reads(), 0u);
}

TEST_F(MotionDrv, UnloadWhileATimerIsPendingStopsIt)
{
	load_bound();
	pir.set_at(ms(1000), 1);
	time::advance_to(ms(1005));
	ASSERT_EQ(timer::due_times(), std::vector<Nanoseconds>{ms(1020)});
	ASSERT_EQ(modules::unload("motion_drv"), 0);
	EXPECT_TRUE(timer::due_times().empty());
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio)), nullptr);
	EXPECT_FALSE(fs::exists("/dev/sr501"));
}

TEST_F(MotionDrv, ARefusedInterruptLeavesTheDeviceUnboundAndUnarmed)
{
	fault::inject("request_irq", -EBUSY);
	dt::add(sensor_node);
	ASSERT_EQ(modules::load("motion_drv"), 0);
	EXPECT_FALSE(bus::bound("pir"));
	EXPECT_EQ(bus::last_probe_result("pir"), -1);
	EXPECT_TRUE(log::contains(log::default_level, "request_irq failed\n"));
	EXPECT_TRUE(timer::due_times().empty());
	EXPECT_FALSE(gpio::line(sensor_gpio).requested());

	// The line was given back, so a later probe can take it.
	ASSERT_EQ(bus::bind("pir"), 0);
	EXPECT_TRUE(log::contains(log::default_level, "request_irq success\n"));
	ASSERT_NE(irq::requested(irq::of_gpio(sensor_gpio)), nullptr);
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio))->name, "sr501_irq");
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio))->flags, 3u); // both edges, not shared
}

TEST_F(MotionDrv, ProbeClaimsTheLineAsAnInputOrFailsWithTheClaimsError)
{
	load_bound();
	const gpio::Line &line = gpio::line(sensor_gpio);
	EXPECT_TRUE(line.requested());
	EXPECT_EQ(line.label(), "sr501");
	EXPECT_FALSE(line.is_output());
	bus::unbind("pir");
	EXPECT_FALSE(line.requested());

	fault::inject("gpio_request", -EBUSY);
	EXPECT_EQ(bus::bind("pir"), -EBUSY);
	EXPECT_EQ(irq::requested(irq::of_gpio(sensor_gpio)), nullptr);
	EXPECT_TRUE(timer::due_times().empty());
}

TEST_F(MotionDrv, ANodeWithoutAUsableLineIsRefusedWithTheLookupsError)
{
	ASSERT_EQ(modules::load("motion_drv"), 0);
	dt::add({"bare", {"hc-sr501"}, {}, {}});
	EXPECT_EQ(bus::last_probe_result("bare"), -ENOENT);
	dt::add({"early", {"hc-sr501"}, {{gpio::line_count, 0}}, {}});
	EXPECT_EQ(bus::last_probe_result("early"), -EPROBE_DEFER);
	EXPECT_TRUE(timer::due_times().empty());
}

TEST_F(MotionDrv, ASecondSensorNodeIsRefusedAndTheFirstKeepsWorking)
{
	load_bound();
	subscribe(monitor);
	dt::add({"pir2", {"hc-sr501"}, {{sensor_gpio + 1, 0}}, {}});
	EXPECT_EQ(bus::last_probe_result("pir2"), -EBUSY);
	EXPECT_FALSE(gpio::line(sensor_gpio + 1).requested());

	pir.set_at(ms(1000), 1);
	time::advance_to(ms(1500));
	EXPECT_EQ(sigio_times(monitor).size(), 1u);
}

TEST_F(MotionDrv, AReadCopiesOneByteOfTheLevelAtThatMoment)
{
	load_bound();
	int fd = fs::open("/dev/sr501");
	EXPECT_EQ(read_level(fd), 0);
	pir.set(1); // no signal needed: the read samples the line
	EXPECT_EQ(read_level(fd), 1);

	user::Buffer wide(64, 0xee);
	EXPECT_EQ(fs::read(fd, wide.data(), wide.size()), 1);
	EXPECT_EQ(wide[0], 1);
	EXPECT_EQ(wide[1], 0xee);
	EXPECT_EQ(wide[63], 0xee);

	user::Buffer empty(1, 0xee);
	EXPECT_EQ(fs::read(fd, empty.data(), 0), 0);
	EXPECT_EQ(empty[0], 0xee);

	EXPECT_EQ(fs::read(fd, user::kernel_address(), 1), -EFAULT);
	EXPECT_TRUE(user::kernel_memory_untouched());
}

TEST_F(MotionDrv, LoadedWithoutASensorTheNodeReadsZero)
{
	ASSERT_EQ(modules::load("motion_drv"), 0);
	EXPECT_TRUE(fs::exists("/dev/sr501"));
	pir.set(1);
	int fd = fs::open("/dev/sr501");
	EXPECT_EQ(read_level(fd), 0);
	EXPECT_EQ(fs::close(fd), 0);
	EXPECT_EQ(modules::info("motion_drv", "license"), std::vector<std::string>{"GPL"});

	ASSERT_EQ(modules::unload("motion_drv"), 0);
	EXPECT_FALSE(fs::exists("/dev/sr501"));
	ASSERT_EQ(modules::load("motion_drv"), 0);
	EXPECT_TRUE(fs::exists("/dev/sr501"));
}

TEST_F(MotionDrv, EachFailedLoadStepIsUndoneAndReported)
{
	const char *sites[] = {"register_chrdev", "class_create", "device_create",
			       "platform_driver_register"};
	for (const char *site : sites) {
		log::clear();
		fault::inject(site, -ENOMEM);
		EXPECT_EQ(modules::load("motion_drv"), -ENOMEM) << site;
		EXPECT_FALSE(modules::loaded("motion_drv")) << site;
		EXPECT_FALSE(fs::exists("/dev/sr501")) << site;
		ASSERT_FALSE(log::entries().empty()) << site;
		EXPECT_EQ(log::entries().back().level, LOGLEVEL_ERR) << site;
	}
	ASSERT_EQ(modules::load("motion_drv"), 0);
}

}  // namespace

// The input device "sr501": the switch SW_FRONT_PROXIMITY (0x0b) of EV_SW
// (5) follows the debounced level, each change closed by a SYN_REPORT.
class MotionInput : public MotionDrv {
protected:
	static input::Event proximity(Nanoseconds at, int value) { return {at, 5, 0x0b, value}; }
	static input::Event report(Nanoseconds at) { return {at, 0, 0, 0}; }
};

TEST_F(MotionInput, TheSwitchFollowsTheSettledLevelWhenTheSignalGoesOut)
{
	load_bound();
	const int fd = subscribe(monitor);
	EXPECT_EQ(input::node("sr501"), "/dev/input/event0");
	pir.bounce(ms(1002), 1, 3, ms(2));
	// Chatter that settles where it began changes nothing.
	pir.burst(ms(2002), 0, 4, ms(3));
	pir.bounce(ms(3002), 0, 3, ms(2));
	time::advance_to(ms(3500));

	const auto signals = sigio_times(monitor);
	ASSERT_EQ(signals.size(), 3u);
	EXPECT_EQ(input::events("sr501"),
		  (std::vector<input::Event>{proximity(signals[0], 1), report(signals[0]),
					     proximity(signals[2], 0), report(signals[2])}));
	unsubscribe(fd);
	EXPECT_EQ(fs::close(fd), 0);
}

TEST_F(MotionInput, APresenceAtBindIsReportedThenItsEnd)
{
	pir.set(1);
	load_bound();
	pir.set_at(ms(1000), 0);
	time::advance_to(ms(1100));
	const auto events = input::events("sr501");
	ASSERT_EQ(events.size(), 4u);
	EXPECT_EQ(events[0], proximity(0, 1));
	EXPECT_EQ(events[2].value, 0);
}

TEST_F(MotionInput, UnbindStopsTheReportsAndTakesTheDeviceAway)
{
	load_bound();
	// An edge whose timer is still pending.
	pir.set_at(ms(1000), 1);
	time::advance_to(ms(1005));
	bus::unbind("pir");
	EXPECT_FALSE(input::registered("sr501"));
	time::advance_to(ms(2000));

	ASSERT_EQ(bus::bind("pir"), 0);
	EXPECT_TRUE(input::registered("sr501"));
	EXPECT_TRUE(input::events("sr501").empty());
}
