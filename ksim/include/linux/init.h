/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_INIT_H
#define _LINUX_INIT_H

#include <linux/compiler.h>

/* Driver code only: the C library's own headers use these names. */
#ifndef __cplusplus
#define __init
#define __exit
#endif

#endif
