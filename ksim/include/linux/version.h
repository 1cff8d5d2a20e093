/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_VERSION_H
#define _LINUX_VERSION_H

/*
 * The board's kernel. Like a real 4.1 tree it does not define
 * LINUX_VERSION_MAJOR; sensorkit_compat.h keys on that.
 */
#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + (c))
#define LINUX_VERSION_CODE KERNEL_VERSION(4, 1, 15)

#endif
