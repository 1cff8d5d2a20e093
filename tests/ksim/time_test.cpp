#include <linux/delay.h>
#include <linux/irqflags.h>
#include <linux/jiffies.h>
#include <linux/mutex.h>

#include <string>
#include <vector>

#include "ksim/testing.hpp"

namespace {

using namespace ksim::time;

class TimeTest : public ksim::Test {};

TEST_F(TimeTest, EventsRunInTimeOrderThenInSchedulingOrder)
{
	std::vector<std::string> ran;
	at(us(30), [&] { ran.push_back("c"); });
	at(us(10), [&] { ran.push_back("a"); });
	at(us(10), [&] { ran.push_back("b"); });
	EventId cancelled = at(us(20), [&] { ran.push_back("x"); });
	EXPECT_TRUE(cancel(cancelled));
	EXPECT_FALSE(cancel(cancelled));

	advance(us(29));
	EXPECT_EQ(ran, (std::vector<std::string>{"a", "b"}));
	EXPECT_EQ(now(), us(29));
	advance(us(1));
	EXPECT_EQ(ran, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(TimeTest, AnEventSeesTheClockAtItsOwnTimeAndMayScheduleMore)
{
	std::vector<Nanoseconds> seen;
	at(us(5), [&] {
		seen.push_back(now());
		at(now() + us(5), [&] { seen.push_back(now()); });
	});
	at(us(1), [&] { seen.push_back(now()); });
	advance(ms(1));
	EXPECT_EQ(seen, (std::vector<Nanoseconds>{us(1), us(5), us(10)}));
	EXPECT_EQ(now(), ms(1));
}

TEST_F(TimeTest, BusyWaitsMoveTheClockAndRunWhatFallsDue)
{
	bool fired = false;
	at(us(1500), [&] { fired = true; });
	udelay(1000);
	EXPECT_FALSE(fired);
	mdelay(1);
	EXPECT_TRUE(fired);
	EXPECT_EQ(now(), ms(2));
}

TEST_F(TimeTest, JiffiesStartFiveMinutesBeforeTheWrapAndTickAt100Hz)
{
	EXPECT_EQ(jiffies, 0xffff8ad0UL);
	advance(tick - 1);
	EXPECT_EQ(jiffies, 0xffff8ad0UL);
	advance(1);
	EXPECT_EQ(jiffies, 0xffff8ad1UL);

	advance_to(ms(300 * 1000) - 1);
	EXPECT_EQ(jiffies, 0xffffffffUL);
	advance(1);
	EXPECT_EQ(jiffies, 0UL);
}

TEST_F(TimeTest, TheLongestInterruptsOffWindowIsRecordedAcrossNesting)
{
	unsigned long outer, inner;
	local_irq_save(outer);
	mdelay(2);
	local_irq_save(inner);
	mdelay(3);
	local_irq_restore(inner);
	EXPECT_TRUE(ksim::irq::disabled());
	udelay(10);
	local_irq_restore(outer);
	EXPECT_FALSE(ksim::irq::disabled());

	local_irq_save(outer);
	mdelay(1);
	local_irq_restore(outer);
	EXPECT_EQ(ksim::irq::longest_off_window(), ms(5) + us(10));

	ksim::irq::clear_off_windows();
	EXPECT_EQ(ksim::irq::longest_off_window(), 0U);
}

TEST_F(TimeTest, SleepingWithInterruptsOffOrInInterruptContextIsAViolation)
{
	DEFINE_MUTEX(lock);
	unsigned long flags;
	local_irq_save(flags);
	mutex_lock(&lock);
	mutex_unlock(&lock);
	local_irq_restore(flags);
	{
		ksim::ContextScope in_timer(ksim::Context::timer);
		mutex_lock(&lock);
		mutex_unlock(&lock);
	}
	{
		ksim::ContextScope in_irq(ksim::Context::hardirq);
		EXPECT_TRUE(ksim::irq::disabled());
	}
	EXPECT_FALSE(ksim::irq::disabled());
	EXPECT_EQ(ksim::violations::take(),
		  (std::vector<std::string>{"sleeping call mutex_lock with interrupts disabled",
					    "sleeping call mutex_lock in timer context"}));
}

TEST_F(TimeTest, AMutexFoundHeldIsADeadlockInAOneThreadModel)
{
	DEFINE_MUTEX(lock);
	mutex_lock(&lock);
	mutex_lock(&lock);
	mutex_unlock(&lock);
	mutex_unlock(&lock);
	auto found = ksim::violations::take();
	ASSERT_EQ(found.size(), 2U);
	EXPECT_NE(found[0].find("already held"), std::string::npos);
	EXPECT_EQ(found[1], "mutex_unlock of a mutex not held");
}

}  // namespace
