/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_UACCESS_H
#define _LINUX_UACCESS_H

#include <linux/types.h>

#define VERIFY_READ 0
#define VERIFY_WRITE 1

/*
 * User memory is what a test mapped for the calling process; every other
 * address lies beyond the caller's limit. The copies return the number of
 * bytes not copied, as the kernel's do.
 */
KSIM_BEGIN_DECLS
int ksim_access_ok(int type, const void __user *addr, unsigned long size);
unsigned long copy_to_user(void __user *to, const void *from, unsigned long n);
unsigned long copy_from_user(void *to, const void __user *from,
			     unsigned long n);
unsigned long __copy_to_user(void __user *to, const void *from,
			     unsigned long n);
unsigned long __copy_from_user(void *to, const void __user *from,
			       unsigned long n);
KSIM_END_DECLS

#define access_ok(type, addr, size) \
	ksim_access_ok(type, (const void __user *)(addr), (unsigned long)(size))

#endif
