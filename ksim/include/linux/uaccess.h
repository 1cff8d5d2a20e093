/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_UACCESS_H
#define _LINUX_UACCESS_H

#include <linux/types.h>

#define VERIFY_READ 0
#define VERIFY_WRITE 1

/*
 * access_ok checks the range against the caller's limit only, as the ARM
 * one does; the copies fault where no user memory is mapped and return the
 * number of bytes they did not copy.
 */
KSIM_BEGIN_DECLS
int ksim_access_ok(const void __user *addr, unsigned long size);
unsigned long __must_check copy_to_user(void __user *to, const void *from,
					unsigned long n);
unsigned long __must_check copy_from_user(void *to, const void __user *from,
					  unsigned long n);
unsigned long __must_check __copy_to_user(void __user *to, const void *from,
					  unsigned long n);
KSIM_END_DECLS

#define access_ok(type, addr, size) \
	ksim_access_ok((const void __user *)(addr), (unsigned long)(size))

#endif
