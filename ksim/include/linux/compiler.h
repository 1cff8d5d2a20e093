/* SPDX-License-Identifier: GPL-2.0 */
/* Attributes and C/C++ glue shared by every shim header. */
#ifndef _LINUX_COMPILER_H
#define _LINUX_COMPILER_H

#ifdef __cplusplus
#define KSIM_BEGIN_DECLS extern "C" {
#define KSIM_END_DECLS }
/* struct class is the kernel's name; C++ reserves it. Same layout, other tag. */
#define KSIM_CLASS ksim_class
#else
#define KSIM_BEGIN_DECLS
#define KSIM_END_DECLS
#define KSIM_CLASS class
#endif

#define __user
#define __must_check __attribute__((warn_unused_result))
#define __printf(a, b) __attribute__((format(printf, a, b)))
#define __maybe_unused __attribute__((unused))
#define likely(x) __builtin_expect(!!(x), 1)
#define unlikely(x) __builtin_expect(!!(x), 0)

#endif
