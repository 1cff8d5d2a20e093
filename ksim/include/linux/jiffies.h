/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_JIFFIES_H
#define _LINUX_JIFFIES_H

#include <linux/types.h>
#include <ksim/runtime.h>

#define HZ 100
/* The board's counter is 32 bits and starts 300 s before it wraps to 0. */
#define INITIAL_JIFFIES ((unsigned long)(unsigned int)(-300 * HZ))
#define jiffies ksim_jiffies()

/* Compared as the board's 32-bit long does, across the wrap. */
#define time_after(a, b) ((int)((unsigned int)(b) - (unsigned int)(a)) < 0)
#define time_before(a, b) time_after(b, a)

#endif
