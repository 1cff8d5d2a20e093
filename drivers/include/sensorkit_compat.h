/* SPDX-License-Identifier: GPL-2.0 */
/*
 * The few kernel interfaces that changed between the board's Linux 4.1 and
 * the Linux 6.1 of the virtual board. The 4.1 branch of each is the plain
 * 4.1 call; keep this file that small.
 */
#ifndef SENSORKIT_COMPAT_H
#define SENSORKIT_COMPAT_H

#include <linux/version.h>
#include <linux/uaccess.h>

/* Only the 6.x kernels announce their major version on its own. */
#if defined(LINUX_VERSION_MAJOR) && LINUX_VERSION_MAJOR >= 6
#define SK_LINUX_6 1
#endif

/* 5.0 dropped the access type argument. */
#ifdef SK_LINUX_6
#define sk_access_ok(type, addr, size) access_ok(addr, size)
#else
#define sk_access_ok(type, addr, size) access_ok(type, addr, size)
#endif

#endif /* SENSORKIT_COMPAT_H */
