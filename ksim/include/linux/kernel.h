/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_KERNEL_H
#define _KSIM_LINUX_KERNEL_H

/* <sys/sysinfo.h> includes this name for struct sysinfo. */
#include_next <linux/kernel.h>
#include <stdarg.h>
#include <linux/types.h>
#include <linux/compiler.h>
#include <linux/printk.h>
#include <linux/bug.h>
#include <linux/errno.h>

#define ARRAY_SIZE(arr) (sizeof(arr) / sizeof((arr)[0]))

/* Driver code only: C++ has its own min and max. */
#ifndef __cplusplus
#define min(x, y) ({ __typeof__(x) _min1 = (x); __typeof__(y) _min2 = (y); \
	(void)(&_min1 == &_min2); _min1 < _min2 ? _min1 : _min2; })
#define max(x, y) ({ __typeof__(x) _max1 = (x); __typeof__(y) _max2 = (y); \
	(void)(&_max1 == &_max2); _max1 > _max2 ? _max1 : _max2; })
#define min_t(type, x, y) ({ type __min1 = (x); type __min2 = (y); \
	__min1 < __min2 ? __min1 : __min2; })
#define max_t(type, x, y) ({ type __max1 = (x); type __max2 = (y); \
	__max1 > __max2 ? __max1 : __max2; })
#endif

#define container_of(ptr, type, member) \
	((type *)((char *)(ptr) - offsetof(type, member)))

#endif
