/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_JIFFIES_H
#define _LINUX_JIFFIES_H

#include <linux/types.h>
#include <ksim/runtime.h>

#define HZ 100
/* The board's counter is 32 bits and starts 300 s before it wraps to 0. */
#define INITIAL_JIFFIES ((unsigned long)(unsigned int)(-300 * HZ))
#define jiffies ksim_jiffies()

#define time_after(a, b) ((s32)((u32)(b) - (u32)(a)) < 0)
#define time_before(a, b) time_after(b, a)
#define time_after_eq(a, b) ((s32)((u32)(a) - (u32)(b)) >= 0)
#define time_before_eq(a, b) time_after_eq(b, a)

static inline unsigned long msecs_to_jiffies(unsigned int m)
{
	return (m + (1000 / HZ) - 1) / (1000 / HZ);
}

static inline unsigned int jiffies_to_msecs(unsigned long j)
{
	return (unsigned int)(j * (1000 / HZ));
}

#endif
