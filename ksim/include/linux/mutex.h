/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_MUTEX_H
#define _LINUX_MUTEX_H

#include <linux/types.h>

/*
 * The model runs one kernel thread at a time, so a mutex found held can
 * never be released: that is reported as a deadlock, not waited for.
 */
struct mutex {
	int locked;
};

#define DEFINE_MUTEX(name) struct mutex name = { 0 }

KSIM_BEGIN_DECLS
void mutex_lock(struct mutex *lock);
int __must_check mutex_lock_interruptible(struct mutex *lock);
void mutex_unlock(struct mutex *lock);
KSIM_END_DECLS

#endif
