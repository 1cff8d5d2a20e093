/* SPDX-License-Identifier: GPL-2.0 */
#ifndef _LINUX_OF_H
#define _LINUX_OF_H

#include <linux/types.h>
#include <linux/mod_devicetable.h>

/*
 * A device-tree node a test declared. Its properties live in the model
 * (ksim/devicetree.hpp); drivers reach them through the of_* calls.
 */
struct device_node {
	const char *name;
	const char *full_name;
};

KSIM_BEGIN_DECLS
int of_device_is_compatible(const struct device_node *np, const char *compat);
const struct of_device_id *of_match_node(const struct of_device_id *matches,
					 const struct device_node *node);
bool of_property_read_bool(const struct device_node *np, const char *propname);
int of_property_read_u32(const struct device_node *np, const char *propname,
			 u32 *out_value);
KSIM_END_DECLS

#define of_match_ptr(ptr) (ptr)

#endif
