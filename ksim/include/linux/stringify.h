/* SPDX-License-Identifier: GPL-2.0 */
#ifndef __LINUX_STRINGIFY_H
#define __LINUX_STRINGIFY_H

#define __stringify_1(x...) #x
#define __stringify(x...) __stringify_1(x)

#endif
