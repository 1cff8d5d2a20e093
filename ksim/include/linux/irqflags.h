/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_IRQFLAGS_H
#define _LINUX_IRQFLAGS_H

#include <ksim/runtime.h>

/* The model times every window spent with local interrupts off. */
#define local_irq_save(flags) ((flags) = ksim_irq_save())
#define local_irq_restore(flags) ksim_irq_restore(flags)

#endif
