/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_HARDIRQ_H
#define _LINUX_HARDIRQ_H

#include <ksim/runtime.h>

#define in_interrupt() ksim_in_interrupt()
#define in_irq() ksim_in_interrupt()

#endif
