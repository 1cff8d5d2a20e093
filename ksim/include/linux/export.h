/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_EXPORT_H
#define _LINUX_EXPORT_H

/* One address space on the host: exporting is a no-op. */
#define EXPORT_SYMBOL(sym) extern __typeof__(sym) sym
#define EXPORT_SYMBOL_GPL(sym) extern __typeof__(sym) sym

#endif
