// The module loader: modules are found by the KBUILD_MODNAME they were
// compiled with.
#pragma once

#include <string>
#include <vector>

struct module;

namespace ksim::modules {

// The init entry's result; the module stays loaded only when it is 0.
int load(const std::string &name);
// 0, -ENOENT when not loaded, -EBUSY while a file of it is open.
int unload(const std::string &name);
bool loaded(const std::string &name);
// Unloads everything still loaded, last loaded first.
void unload_all();

struct module *find(const std::string &name);
// All values recorded under a tag ("license", "author", "vermagic", ...).
std::vector<std::string> info(const std::string &name, const std::string &tag);

}  // namespace ksim::modules
