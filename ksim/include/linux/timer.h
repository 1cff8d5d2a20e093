/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_TIMER_H
#define _LINUX_TIMER_H

#include <linux/types.h>
#include <linux/jiffies.h>

/* Only its address matters, as lockdep's class of the timer. */
struct lock_class_key {
	char unused;
};

/*
 * The 4.1 layout as drivers see it. Whether a timer is initialised, armed
 * or running is kept by the model, keyed by the timer's address.
 */
struct timer_list {
	unsigned long expires;
	void (*function)(unsigned long);
	unsigned long data;
	u32 flags;
};

KSIM_BEGIN_DECLS
void init_timer_key(struct timer_list *timer, unsigned int flags,
		    const char *name, struct lock_class_key *key);
void add_timer(struct timer_list *timer);
int mod_timer(struct timer_list *timer, unsigned long expires);
int del_timer_sync(struct timer_list *timer);
KSIM_END_DECLS

/* As 4.1 with lockdep on: each call site names the timer and its class. */
#define __init_timer(_timer, _flags)					\
	do {								\
		static struct lock_class_key __key;			\
		init_timer_key((_timer), (_flags), #_timer, &__key);	\
	} while (0)

#define setup_timer(_timer, _fn, _data)					\
	do {								\
		__init_timer((_timer), 0);				\
		(_timer)->function = (_fn);				\
		(_timer)->data = (_data);				\
	} while (0)

#endif
