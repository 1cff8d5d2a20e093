// Virtual time and the discrete-event scheduler.
#include "ksim/time.hpp"

#include <linux/jiffies.h>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <utility>

#include "internal.hpp"

namespace ksim::time {
namespace {

using Key = std::pair<Nanoseconds, EventId>;

struct Clock {
	Nanoseconds now = 0;
	EventId next_id = 1;
	std::map<Key, std::function<void()>> queue;
	std::unordered_map<EventId, Nanoseconds> due;
};

Clock &clock()
{
	static Clock c;
	return c;
}

}  // namespace

Nanoseconds now()
{
	return clock().now;
}

void advance(Nanoseconds delta)
{
	advance_to(clock().now + delta);
}

void advance_to(Nanoseconds when)
{
	Clock &c = clock();
	// An event may busy-wait itself and so run later events first.
	while (!c.queue.empty() && c.queue.begin()->first.first <= when) {
		auto node = c.queue.extract(c.queue.begin());
		c.due.erase(node.key().second);
		c.now = std::max(c.now, node.key().first);
		node.mapped()();
	}
	c.now = std::max(c.now, when);
}

EventId at(Nanoseconds when, std::function<void()> action)
{
	Clock &c = clock();
	EventId id = c.next_id++;
	when = std::max(when, c.now);
	c.queue.emplace(Key{when, id}, std::move(action));
	c.due.emplace(id, when);
	return id;
}

EventId after(Nanoseconds delay, std::function<void()> action)
{
	return at(clock().now + delay, std::move(action));
}

bool cancel(EventId id)
{
	Clock &c = clock();
	auto it = c.due.find(id);
	if (it == c.due.end())
		return false;
	c.queue.erase(Key{it->second, id});
	c.due.erase(it);
	return true;
}

bool pending(EventId id)
{
	return clock().due.count(id) != 0;
}

unsigned long current_jiffies()
{
	return static_cast<std::uint32_t>(INITIAL_JIFFIES + now() / tick);
}

}  // namespace ksim::time

namespace ksim::detail {

void reset_time()
{
	auto &c = time::clock();
	c.queue.clear();
	c.due.clear();
	c.now = 0;
}

}  // namespace ksim::detail

extern "C" unsigned long ksim_jiffies(void)
{
	return ksim::time::current_jiffies();
}
