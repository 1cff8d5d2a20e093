// lightprox_drv and lightprox_board: loading, binding, unbinding and the
// failures on the way.
#include <linux/kern_levels.h>

#include "sensor_fixture.hpp"

namespace lightprox_test {
namespace {

namespace bus = ksim::bus;
namespace fs = ksim::fs;
namespace i2c = ksim::i2c;
namespace modules = ksim::modules;
using Strings = std::vector<std::string>;

const Strings registration = {"i2c_register_driver ap3216"};
const Strings publication = {"probe ap3216 0-001e", "register_chrdev ap3216",
			     "class_create ap3216_class", "device_create ap3216"};
const Strings withdrawal = {"remove ap3216 0-001e", "device_destroy ap3216",
			    "class_destroy ap3216_class", "unregister_chrdev ap3216"};

Strings core_events()
{
	return ksim::events("core");
}

Strings concat(Strings a, const Strings &b)
{
	a.insert(a.end(), b.begin(), b.end());
	return a;
}

using Binding = SensorTest;

TEST_F(Binding, DriverAloneMakesNoNodeUntilTheBoardDeclaresTheSensor)
{
	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	EXPECT_FALSE(fs::exists(node));
	EXPECT_EQ(core_events(), registration);

	ASSERT_EQ(modules::load("lightprox_board"), 0);
	EXPECT_TRUE(fs::exists(node));
	EXPECT_EQ(bus::driver(client), "ap3216");
	EXPECT_EQ(default_messages(), Strings{"ap3216_i2c probe\n"});
	EXPECT_EQ(core_events(), concat(registration, publication));
	// The adapter reference is dropped as soon as the client exists.
	EXPECT_EQ(i2c::adapter_refs(adapter), 0);
	// Probe leaves the chip alone; only open talks to it.
	EXPECT_TRUE(ksim::events("i2c").empty());
}

TEST_F(Binding, BoardFirstEndsTheSame)
{
	ASSERT_EQ(modules::load("lightprox_board"), 0);
	EXPECT_NE(bus::device(client), nullptr);
	EXPECT_FALSE(fs::exists(node));

	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	EXPECT_TRUE(fs::exists(node));
	EXPECT_EQ(default_messages(), Strings{"ap3216_i2c probe\n"});
	EXPECT_EQ(core_events(), concat(registration, publication));
}

TEST_F(Binding, UnloadingTheBoardWithdrawsTheNodeAndReloadingBringsItBack)
{
	bind();
	const dev_t first = fs::devt(node);
	ASSERT_EQ(modules::unload("lightprox_board"), 0);
	EXPECT_FALSE(fs::exists(node));
	EXPECT_EQ(bus::device(client), nullptr);
	EXPECT_TRUE(modules::loaded("lightprox_drv"));
	EXPECT_EQ(core_events(), concat(concat(registration, publication), withdrawal));

	// Class and major were released: the same ones come back.
	ASSERT_EQ(modules::load("lightprox_board"), 0);
	EXPECT_TRUE(fs::exists(node));
	EXPECT_EQ(fs::devt(node), first);
	EXPECT_EQ(bus::last_probe_result(client), 0);
}

TEST_F(Binding, UnloadingTheDriverUnbindsFirst)
{
	bind();
	ASSERT_EQ(modules::unload("lightprox_drv"), 0);
	EXPECT_FALSE(fs::exists(node));
	EXPECT_EQ(bus::driver(client), "");
	EXPECT_EQ(core_events(), concat(concat(registration, publication),
					concat({"i2c_del_driver ap3216"}, withdrawal)));
	// The client stays; the driver binds again when it comes back.
	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	EXPECT_TRUE(fs::exists(node));
}

TEST_F(Binding, ManualUnbindAndRebind)
{
	bind();
	bus::unbind(client);
	EXPECT_FALSE(fs::exists(node));
	EXPECT_EQ(bus::bind(client), 0);
	EXPECT_TRUE(fs::exists(node));
	EXPECT_EQ(bus::bind(client), -EBUSY);
}

TEST_F(Binding, DeviceTreeNodeBindsByCompatibleAndTheBoardStepsBack)
{
	i2c::declare(adapter, addr, "brenolix,ap3216c");
	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	EXPECT_TRUE(fs::exists(node));

	// The address is taken: the board's load fails and leaves nothing.
	EXPECT_EQ(modules::load("lightprox_board"), -ENODEV);
	EXPECT_FALSE(modules::loaded("lightprox_board"));
	EXPECT_TRUE(ksim::log::contains(
		LOGLEVEL_ERR, "i2c-0: Failed to register i2c client ap3216c at 0x1e (-16)\n"));
	EXPECT_EQ(i2c::adapter_refs(adapter), 0);
	EXPECT_EQ(bus::driver(client), "ap3216");
	EXPECT_TRUE(fs::exists(node));
}

TEST_F(Binding, SecondSensorIsRefusedAndTheFirstKeepsWorking)
{
	constexpr std::uint16_t other = 0x1f;
	Ap3216c second;
	i2c::attach(adapter, other, second);
	bind();
	const dev_t first = fs::devt(node);

	i2c::declare(adapter, other, "brenolix,ap3216c");
	EXPECT_EQ(bus::last_probe_result("0-001f"), -EBUSY);
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_WARNING,
					"ap3216: probe of 0-001f failed with error -16\n"));
	EXPECT_EQ(fs::devt(node), first);
	EXPECT_EQ(core_events(),
		  concat(concat(registration, publication), {"probe ap3216 0-001f"}));

	int fd = fs::open(node);
	ASSERT_GE(fd, 0);
	for (const std::string &transfer : ksim::events("i2c"))
		EXPECT_EQ(transfer.rfind("0-001e ", 0), 0U) << transfer;
	fs::close(fd);

	// Once the first is gone the second can be bound by hand.
	ASSERT_EQ(modules::unload("lightprox_board"), 0);
	EXPECT_EQ(bus::bind("0-001f"), 0);
	EXPECT_TRUE(fs::exists(node));
}

TEST_F(Binding, FailedDriverRegistrationFailsTheLoad)
{
	ksim::fault::inject("i2c_register_driver", -ENOMEM);
	EXPECT_EQ(modules::load("lightprox_drv"), -ENOMEM);
	EXPECT_FALSE(modules::loaded("lightprox_drv"));
	EXPECT_TRUE(ksim::log::contains(LOGLEVEL_ERR,
					"Failed to register ap3216 I2C driver: -12\n"));
	ASSERT_EQ(modules::load("lightprox_board"), 0);
	EXPECT_FALSE(fs::exists(node));
}

using BareBoard = ksim::Test;

TEST_F(BareBoard, NoAdapterZeroFailsTheBoardLoad)
{
	i2c::add_adapter(1);
	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	EXPECT_EQ(modules::load("lightprox_board"), -1);
	EXPECT_FALSE(modules::loaded("lightprox_board"));
	EXPECT_EQ(ksim::log::entries(),
		  (std::vector<ksim::log::Entry>{
			  {LOGLEVEL_ERR, "lightprox_board_init failed to get i2c adapter 0.\n"}}));
	EXPECT_EQ(bus::device("1-001e"), nullptr);
	EXPECT_EQ(i2c::adapter_refs(1), 0);
}

// A publication step fails in probe: the steps before it are undone in
// reverse order, nothing is kept, and a later bind starts clean.
struct ProbeFailure {
	const char *site;
	int injected;
	int probe_result;
	Strings messages;
	Strings history;
};

void PrintTo(const ProbeFailure &f, std::ostream *out)
{
	*out << f.site << " fails with " << f.injected;
}

class FailedProbe : public SensorTest,
		    public ::testing::WithParamInterface<ProbeFailure> {};

TEST_P(FailedProbe, UndoesItsStepsAndKeepsNothing)
{
	const ProbeFailure &f = GetParam();
	ksim::fault::inject(f.site, f.injected);
	ASSERT_EQ(modules::load("lightprox_drv"), 0);
	ASSERT_EQ(modules::load("lightprox_board"), 0);
	EXPECT_EQ(bus::last_probe_result(client), f.probe_result);
	EXPECT_EQ(default_messages(), f.messages);
	EXPECT_EQ(core_events(), concat(concat(registration, {"probe ap3216 0-001e"}), f.history));
	EXPECT_FALSE(fs::exists(node));
	EXPECT_EQ(bus::driver(client), "");

	EXPECT_EQ(bus::bind(client), 0);
	EXPECT_TRUE(fs::exists(node));
}

INSTANTIATE_TEST_SUITE_P(
	EachStep, FailedProbe,
	::testing::Values(
		ProbeFailure{"register_chrdev", -EBUSY, -EBUSY, {}, {}},
		ProbeFailure{"class_create", -ENOMEM, -ENOMEM,
			     {"ap3216 class_create failed!\n"},
			     {"register_chrdev ap3216", "unregister_chrdev ap3216"}},
		ProbeFailure{"device_create", -ENOMEM, -ENODEV,
			     {"ap3216 device_create failed\n"},
			     {"register_chrdev ap3216", "class_create ap3216_class",
			      "class_destroy ap3216_class", "unregister_chrdev ap3216"}}),
	[](const auto &info) { return std::string(info.param.site); });

}  // namespace
}  // namespace lightprox_test
