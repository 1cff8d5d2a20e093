// Interrupts, timers and asynchronous notification of the model, driven
// through the kernel calls themselves.
#include <linux/gpio.h>
#include <linux/interrupt.h>
#include <linux/timer.h>
#include <linux/fs.h>

#include <ksim/runtime.h>

#include <functional>
#include <iterator>
#include <vector>

#include "ksim/testing.hpp"

namespace {

using namespace ksim;
using time::ms;
using time::Nanoseconds;

constexpr unsigned line_number = 5;

struct Run {
	Nanoseconds at;
	Context context;
	bool masked;
	unsigned long data;
};

std::vector<Run> runs;
std::function<void()> in_timer;

irqreturn_t note_edge(int, void *)
{
	runs.push_back({time::now(), current_context(), irq::disabled(), 0});
	return IRQ_HANDLED;
}

void note_expiry(unsigned long data)
{
	runs.push_back({time::now(), current_context(), irq::disabled(), data});
	if (in_timer)
		in_timer();
}

class Model : public ksim::Test {
protected:
	Model()
	{
		runs.clear();
		in_timer = nullptr;
	}

	void set_up_timer()
	{
		setup_timer(&timer, note_expiry, 7);
		timer.expires = ksim_jiffies() + 1;
	}

	gpio::Line &line = gpio::line(line_number);
	int irq_number = gpiod_to_irq(gpio_to_desc(line_number));
	struct timer_list timer = {};
};

TEST_F(Model, AHandlerRunsInHardIrqContextOnTheEdgesItAskedFor)
{
	EXPECT_EQ(irq_number, irq::of_gpio(line_number));
	ASSERT_EQ(request_irq(irq_number, note_edge, IRQF_TRIGGER_RISING, "rise", nullptr), 0);
	EXPECT_EQ(request_irq(irq_number, note_edge, IRQF_TRIGGER_RISING, "again", nullptr),
		  -EBUSY);
	line.device_drive(1);
	line.device_drive(0); // falling: not asked for
	line.device_drive(1);
	ASSERT_EQ(runs.size(), 2u);
	EXPECT_EQ(irq::requested(irq_number)->name, "rise");
	EXPECT_EQ(irq::requested(irq_number)->handled, 2u);
	EXPECT_EQ(runs[0].context, Context::hardirq);
	EXPECT_TRUE(runs[0].masked);
	EXPECT_EQ(current_context(), Context::process);
	EXPECT_FALSE(irq::disabled());

	free_irq(irq_number, nullptr);
	EXPECT_EQ(irq::requested(irq_number), nullptr);
	line.device_drive(0);
	line.device_drive(1);
	EXPECT_EQ(runs.size(), 2u);
}

TEST_F(Model, EdgesWhileInterruptsAreOffLatchIntoOneRunWhenTheyComeBack)
{
	ASSERT_EQ(request_irq(irq_number, note_edge, IRQF_TRIGGER_RISING | IRQF_TRIGGER_FALLING,
			      "both", nullptr), 0);
	unsigned long flags = ksim_irq_save();
	for (int level : {1, 0, 1})
		line.device_drive(level);
	time::advance(ms(3));
	EXPECT_TRUE(runs.empty());
	ksim_irq_restore(flags);
	ASSERT_EQ(runs.size(), 1u);
	EXPECT_EQ(runs[0].at, ms(3));
	free_irq(irq_number, nullptr);
}

TEST_F(Model, ATimerRunsAtTheTickWhereJiffiesReachesItsExpiry)
{
	set_up_timer();
	const struct {
		Nanoseconds armed_at;
		long ahead;
		Nanoseconds runs_at;
	} cases[] = {
		{ms(1003), 2, ms(1020)},   // from inside a tick: 17 ms
		{ms(2000), 2, ms(2020)},   // on the tick: the full 20 ms
		{ms(3004), -5, ms(3010)},  // already past: the next tick
		{300000 * ms(1) - ms(5), 2, 300000 * ms(1) + ms(10)}, // across the wrap
	};
	for (const auto &c : cases) {
		time::advance_to(c.armed_at);
		EXPECT_EQ(mod_timer(&timer, ksim_jiffies() + c.ahead), 0);
		EXPECT_EQ(timer::due_times(), std::vector<Nanoseconds>{c.runs_at});
		time::advance_to(c.armed_at + ms(100));
		ASSERT_FALSE(runs.empty());
		EXPECT_EQ(runs.back().at, c.runs_at) << "armed at " << c.armed_at;
		EXPECT_EQ(runs.back().context, Context::timer);
		EXPECT_FALSE(runs.back().masked);
		EXPECT_EQ(runs.back().data, 7u);
	}
	EXPECT_EQ(runs.size(), std::size(cases));
}

TEST_F(Model, ModAndDelTimerReplaceAndCancelThePendingExpiry)
{
	set_up_timer();
	EXPECT_EQ(mod_timer(&timer, ksim_jiffies() + 5), 0);
	EXPECT_EQ(mod_timer(&timer, ksim_jiffies() + 1), 1);
	EXPECT_EQ(timer::due_times(), std::vector<Nanoseconds>{ms(10)});
	EXPECT_EQ(del_timer_sync(&timer), 1);
	EXPECT_EQ(del_timer_sync(&timer), 0);
	time::advance(ms(100));
	EXPECT_TRUE(runs.empty());
}

// As the timer softirq: it waits for the interrupt window to close, and
// runs after the hard interrupts that came meanwhile.
TEST_F(Model, ATimerDueWhileInterruptsAreOffRunsWhenTheyComeBack)
{
	set_up_timer();
	ASSERT_EQ(request_irq(irq_number, note_edge, IRQF_TRIGGER_RISING, "rise", nullptr), 0);
	add_timer(&timer);
	unsigned long flags = ksim_irq_save();
	time::advance(ms(15));
	line.device_drive(1);
	time::advance(ms(15));
	EXPECT_TRUE(runs.empty());
	ksim_irq_restore(flags);
	ASSERT_EQ(runs.size(), 2u);
	EXPECT_EQ(runs[0].context, Context::hardirq);
	EXPECT_EQ(runs[1].context, Context::timer);
	EXPECT_EQ(runs[1].at, ms(30));
	free_irq(irq_number, nullptr);
}

TEST_F(Model, FasyncHelperKeepsTheListAndKillFasyncSignalsOwners)
{
	struct file owned = {}, ownerless = {};
	owned.f_owner.pid = 42;
	struct fasync_struct *list = nullptr;
	EXPECT_EQ(fasync_helper(3, &owned, 1, &list), 1);
	EXPECT_EQ(fasync_helper(4, &owned, 1, &list), 0); // already listed
	EXPECT_EQ(fasync_helper(5, &ownerless, 1, &list), 1);
	EXPECT_TRUE(owned.f_flags & FASYNC);

	time::advance(ms(7));
	// The board's SIGIO and POLL_IN are named; other numbers are not.
	kill_fasync(&list, 29, 0x20001);
	kill_fasync(&list, 17, 3);
	EXPECT_EQ(events("signal"), (std::vector<std::string>{"pid 42 fd 4 SIGIO POLL_IN",
							     "pid 42 fd 4 0x11 0x3"}));
	EXPECT_EQ(events().back().at, ms(7));

	EXPECT_EQ(fasync_helper(-1, &owned, 0, &list), 1);
	EXPECT_EQ(fasync_helper(-1, &owned, 0, &list), 0);
	EXPECT_FALSE(owned.f_flags & FASYNC);
	EXPECT_EQ(fasync_helper(-1, &ownerless, 0, &list), 1);
	EXPECT_EQ(list, nullptr);
	EXPECT_EQ(fasync::entries(), 0u);
}

// Each misuse the real kernel would warn about or crash on.
TEST_F(Model, MisuseIsAViolation)
{
	const struct {
		const char *what;
		std::function<void()> misuse;
	} cases[] = {
		{"init_timer_key on an armed timer",
		 [this] {
			 set_up_timer();
			 add_timer(&timer);
			 setup_timer(&timer, note_expiry, 7);
		 }},
		{"init_timer_key without a name or lock class",
		 [this] { init_timer_key(&timer, 0, nullptr, nullptr); }},
		{"add_timer on a pending timer",
		 [this] {
			 set_up_timer();
			 add_timer(&timer);
			 add_timer(&timer);
		 }},
		{"add_timer on a timer never set up",
		 [this] { add_timer(&timer); }},
		{"del_timer_sync from the timer's own function",
		 [this] {
			 set_up_timer();
			 in_timer = [this] { del_timer_sync(&timer); };
			 add_timer(&timer);
			 time::advance(ms(20));
		 }},
		{"del_timer_sync in hard-irq context",
		 [this] {
			 ContextScope scope(Context::hardirq);
			 del_timer_sync(&timer);
		 }},
		{"gpio_free of a line that is not requested",
		 [] { gpio_free(line_number); }},
		{"free_irq of an interrupt not requested",
		 [this] { free_irq(irq_number, nullptr); }},
		{"only edge-triggered primary handlers",
		 [this] {
			 EXPECT_EQ(request_threaded_irq(irq_number, note_edge, note_edge,
							IRQF_TRIGGER_RISING, "threaded", nullptr),
				   -EINVAL);
		 }},
		{"kill_fasync on a freed or corrupt entry",
		 [] {
			 struct file f = {};
			 struct fasync_struct *list = nullptr;
			 fasync_helper(3, &f, 1, &list);
			 struct fasync_struct *stale = list;
			 fasync_helper(3, &f, 0, &list);
			 kill_fasync(&stale, 29, 0x20001);
		 }},
	};
	for (const auto &c : cases) {
		reset();
		timer = {};
		in_timer = nullptr;
		c.misuse();
		auto seen = violations::take();
		ASSERT_EQ(seen.size(), 1u) << c.what;
		EXPECT_NE(seen[0].find(c.what), std::string::npos) << seen[0];
	}
}

}  // namespace
