/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_KERN_LEVELS_H
#define _LINUX_KERN_LEVELS_H

#define KERN_SOH "\001"
#define KERN_ERR KERN_SOH "3"
#define KERN_WARNING KERN_SOH "4"
#define KERN_DEFAULT KERN_SOH "d"

#define LOGLEVEL_ERR 3
#define LOGLEVEL_WARNING 4

#endif
