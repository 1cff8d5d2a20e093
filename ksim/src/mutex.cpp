// Mutexes for a model that runs one kernel thread at a time.
#include <linux/errno.h>
#include <linux/mutex.h>

#include <ksim/runtime.h>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::detail {
namespace {

int &held()
{
	static int count;
	return count;
}

}  // namespace

int mutexes_held()
{
	return held();
}

void reset_mutexes()
{
	held() = 0;
}

}  // namespace ksim::detail

extern "C" {

void mutex_init(struct mutex *lock)
{
	lock->locked = 0;
}

void mutex_lock(struct mutex *lock)
{
	ksim_might_sleep("mutex_lock");
	if (lock->locked) {
		ksim::violations::report("mutex_lock on a mutex already held: "
					 "no other thread can release it");
		return;
	}
	lock->locked = 1;
	ksim::detail::held()++;
}

int mutex_lock_interruptible(struct mutex *lock)
{
	mutex_lock(lock);
	return 0;
}

int mutex_trylock(struct mutex *lock)
{
	if (lock->locked)
		return 0;
	lock->locked = 1;
	ksim::detail::held()++;
	return 1;
}

void mutex_unlock(struct mutex *lock)
{
	if (!lock->locked) {
		ksim::violations::report("mutex_unlock of a mutex not held");
		return;
	}
	lock->locked = 0;
	ksim::detail::held()--;
}

int mutex_is_locked(struct mutex *lock)
{
	return lock->locked;
}

}  // extern "C"
