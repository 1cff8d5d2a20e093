/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_ERRNO_H
#define _KSIM_LINUX_ERRNO_H

/* The C library's <errno.h> includes this name: keep the user-space codes. */
#include_next <linux/errno.h>

/* Kernel-internal codes that never reach user space. */
#define ERESTARTSYS 512
#define EPROBE_DEFER 517

#endif
