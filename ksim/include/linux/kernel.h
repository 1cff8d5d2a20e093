/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_KERNEL_H
#define _KSIM_LINUX_KERNEL_H

/* <sys/sysinfo.h> includes this name for struct sysinfo. */
#include_next <linux/kernel.h>
#include <linux/types.h>
#include <linux/compiler.h>
#include <linux/printk.h>
#include <linux/errno.h>
#include <linux/bitops.h>

#define ARRAY_SIZE(arr) (sizeof(arr) / sizeof((arr)[0]))

/* Driver code only: C++ has its own min. */
#ifndef __cplusplus
#define min_t(type, x, y) ({ type __min1 = (x); type __min2 = (y); \
	__min1 < __min2 ? __min1 : __min2; })
#endif

/* The C library's sprintf does what the kernel's does for the kit. */
#include <stdio.h>

#define container_of(ptr, type, member) \
	((type *)((char *)(ptr) - offsetof(type, member)))

#endif
