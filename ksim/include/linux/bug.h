/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_BUG_H
#define _LINUX_BUG_H

#include <ksim/runtime.h>

/* Where the kernel would warn or oops, the model records a violation. */
#define WARN_ON(cond) ({ \
	int __ret_warn_on = !!(cond); \
	if (unlikely(__ret_warn_on)) \
		ksim_violation(__FILE__, __LINE__, "WARN_ON(" #cond ")"); \
	unlikely(__ret_warn_on); \
})
#define WARN_ON_ONCE(cond) WARN_ON(cond)
#define BUG_ON(cond) do { \
	if (unlikely(cond)) \
		ksim_violation(__FILE__, __LINE__, "BUG_ON(" #cond ")"); \
} while (0)
#define BUG() ksim_violation(__FILE__, __LINE__, "BUG()")

#endif
