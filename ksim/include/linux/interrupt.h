/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_INTERRUPT_H
#define _LINUX_INTERRUPT_H

#include <linux/kernel.h>
#include <linux/irqflags.h>

enum irqreturn {
	IRQ_NONE = 0,
	IRQ_HANDLED = 1,
	IRQ_WAKE_THREAD = 2,
};
typedef enum irqreturn irqreturn_t;
typedef irqreturn_t (*irq_handler_t)(int, void *);

#define IRQF_TRIGGER_RISING	0x00000001
#define IRQF_TRIGGER_FALLING	0x00000002

KSIM_BEGIN_DECLS
int __must_check request_threaded_irq(unsigned int irq, irq_handler_t handler,
				      irq_handler_t thread_fn,
				      unsigned long flags, const char *name,
				      void *dev);
void free_irq(unsigned int irq, void *dev_id);
KSIM_END_DECLS

static inline int __must_check request_irq(unsigned int irq, irq_handler_t handler,
					   unsigned long flags, const char *name, void *dev)
{ return request_threaded_irq(irq, handler, NULL, flags, name, dev); }

#endif
