/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_WORKQUEUE_H
#define _LINUX_WORKQUEUE_H

#include <linux/types.h>

struct work_struct;
typedef void (*work_func_t)(struct work_struct *work);

/* Whether a work is pending or running is kept by the model. */
struct work_struct {
	work_func_t func;
};

#define INIT_WORK(_work, _func) ((_work)->func = (_func))

KSIM_BEGIN_DECLS
bool schedule_work(struct work_struct *work);
bool cancel_work_sync(struct work_struct *work);
KSIM_END_DECLS

#endif
