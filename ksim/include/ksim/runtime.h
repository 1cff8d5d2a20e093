/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The C face of the model's runtime: what the shim headers call. Tests use
 * ksim/model.hpp beside this one.
 */
#ifndef KSIM_RUNTIME_H
#define KSIM_RUNTIME_H

#include <linux/compiler.h>

KSIM_BEGIN_DECLS

/* A call that may sleep: only legal in process context with irqs on. */
void ksim_might_sleep(const char *call);

void ksim_ndelay(unsigned long nsecs);
unsigned long ksim_jiffies(void);

unsigned long ksim_irq_save(void);
void ksim_irq_restore(unsigned long flags);

/* 0, or the negative errno a test armed for this call site. */
int ksim_fault(const char *site);

KSIM_END_DECLS

#endif
