/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_VERMAGIC_H
#define _LINUX_VERMAGIC_H

/* What modpost writes into every module built for the board's kernel. */
#define VERMAGIC_STRING "4.1.15 SMP preempt mod_unload modversions ARMv6 p2v8"

#endif
