/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _KSIM_LINUX_SIGNAL_H
#define _KSIM_LINUX_SIGNAL_H

/*
 * The board's numbers: SIGIO on ARM, and the band of new input. For C only:
 * the C library's <signal.h> has its own, which C++ tests may include.
 */
#ifndef __cplusplus
#define SIGIO 29
#define __SI_POLL (2 << 16)
#define POLL_IN (__SI_POLL | 1)
#endif

#endif
