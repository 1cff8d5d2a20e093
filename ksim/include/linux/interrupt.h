/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_INTERRUPT_H
#define _LINUX_INTERRUPT_H

#include <linux/kernel.h>
#include <linux/irqflags.h>
#include <linux/hardirq.h>

#endif
