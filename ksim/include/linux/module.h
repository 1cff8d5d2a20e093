/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_MODULE_H
#define _LINUX_MODULE_H

#include <linux/types.h>
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/mod_devicetable.h>

#define MODULE_NAME_LEN 56

struct module {
	char name[MODULE_NAME_LEN];
};

KSIM_BEGIN_DECLS
void ksim_module_set_init(struct module *mod, int (*init)(void));
void ksim_module_set_exit(struct module *mod, void (*exit)(void));
void ksim_module_add_info(struct module *mod, const char *tag, const char *value);
KSIM_END_DECLS

#ifdef KBUILD_MODNAME
/*
 * Every driver source is one module, built with its own KBUILD_MODNAME, so
 * one test binary can hold several: each gets its own struct module, and its
 * entry points and tags are recorded under that name before main() runs.
 */
static struct module __this_module __maybe_unused = { .name = KBUILD_MODNAME };
#define THIS_MODULE (&__this_module)

#define __ksim_paste2(a, b) a##b
#define __ksim_paste(a, b) __ksim_paste2(a, b)
#define __ksim_record(body) \
	static void __attribute__((constructor)) \
	__ksim_paste(__ksim_record_, __COUNTER__)(void) { body; }

#define module_init(fn) \
	__ksim_record(ksim_module_set_init(THIS_MODULE, fn))
#define module_exit(fn) \
	__ksim_record(ksim_module_set_exit(THIS_MODULE, fn))
#define MODULE_INFO(tag, info) \
	__ksim_record(ksim_module_add_info(THIS_MODULE, #tag, info))
#else
#define THIS_MODULE ((struct module *)0)
#endif

#define MODULE_LICENSE(s) MODULE_INFO(license, s)
#define MODULE_DESCRIPTION(s) MODULE_INFO(description, s)
#define MODULE_DEVICE_TABLE(type, name) \
	extern __typeof__(name) __mod_##type##__##name##_device_table

#endif
