/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_TYPES_H
#define _KSIM_LINUX_TYPES_H

/* The C library reaches for <linux/types.h> too: keep its __u8 family. */
#include_next <linux/types.h>
#include <stddef.h>
#include <sys/types.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif
#include <linux/compiler.h>

typedef __u8 u8;
typedef __u16 u16;
typedef __u32 u32;
typedef __s32 s32;

#endif
