/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_DELAY_H
#define _LINUX_DELAY_H

#include <ksim/runtime.h>

/* Busy-waits: virtual time moves on and attached hardware moves with it. */
#define udelay(n) ksim_ndelay((unsigned long)(n) * 1000UL)
#define mdelay(n) ksim_ndelay((unsigned long)(n) * 1000000UL)

/* Sleeps: process context with interrupts on, and time moves on. */
KSIM_BEGIN_DECLS
void msleep(unsigned int msecs);
KSIM_END_DECLS

#endif
