/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_PRINTK_H
#define _LINUX_PRINTK_H

#include <linux/compiler.h>
#include <linux/kern_levels.h>

KSIM_BEGIN_DECLS
/* Captured by the model with its level; see ksim/model.hpp. */
__printf(1, 2) int printk(const char *fmt, ...);
KSIM_END_DECLS

#ifndef pr_fmt
#define pr_fmt(fmt) fmt
#endif

#define pr_err(fmt, ...) printk(KERN_ERR pr_fmt(fmt), ##__VA_ARGS__)

#endif
