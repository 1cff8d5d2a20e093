// The module loader: a registry of the modules linked into the program,
// filled before main() by module_init, module_exit and MODULE_INFO.
#include <linux/errno.h>
#include <linux/module.h>

#include <algorithm>

#include "internal.hpp"

namespace ksim {
namespace {

struct Module {
	struct module *mod = nullptr;
	int (*init)(void) = nullptr;
	void (*exit)(void) = nullptr;
	std::multimap<std::string, std::string> info;
	bool loaded = false;
	int refs = 0;
};

struct Loader {
	std::map<std::string, Module> modules;
	std::vector<std::string> order;  // loaded ones, last loaded last
	const struct module *running = nullptr;
};

// Filled by constructors before main(), so built on first use.
Loader &loader()
{
	static Loader l;
	return l;
}

Module &record_of(struct module *mod)
{
	Module &m = loader().modules[mod->name];
	m.mod = mod;
	return m;
}

Module *lookup(const std::string &name)
{
	auto it = loader().modules.find(name);
	return it == loader().modules.end() ? nullptr : &it->second;
}

// Init and exit run in the module's scope and return to the loader.
int run(const Module &m, const std::function<int()> &entry, const char *what)
{
	const int before = detail::mutexes_held();
	detail::ModuleScope scope(m.mod);
	const int result = entry();
	detail::check_return(what, before);
	return result;
}

void check_nothing_left(const Module &m, const char *after)
{
	for (const auto &held : {detail::chrdevs_held_by(m.mod), detail::drivers_held_by(m.mod),
				 detail::irqs_held_by(m.mod), detail::timers_armed_by(m.mod),
				 detail::sysfs_dirs_held_by(m.mod)})
		for (const std::string &what : held)
			violations::report(detail::format("%s left %s behind after %s", m.mod->name,
							  what.c_str(), after));
}

}  // namespace

int modules::load(const std::string &name)
{
	Module *m = lookup(name);
	if (!m)
		return -ENOENT;
	if (m->loaded)
		return -EEXIST;
	m->loaded = true;
	const int result = m->init ? run(*m, m->init, "module init") : 0;
	// As do_init_module, which warns of it.
	if (result > 0)
		violations::report(detail::format("%s init returned %d, not 0 or an error",
						  name.c_str(), result));
	if (result < 0) {
		m->loaded = false;
		check_nothing_left(*m, "failed init");
		return result;
	}
	loader().order.push_back(name);
	return 0;
}

int modules::unload(const std::string &name)
{
	Module *m = lookup(name);
	if (!m || !m->loaded)
		return -ENOENT;
	if (m->refs > 0 || !m->exit)
		return -EBUSY;
	run(*m, [m] { return m->exit(), 0; }, "module exit");
	m->loaded = false;
	auto &order = loader().order;
	order.erase(std::remove(order.begin(), order.end(), name), order.end());
	check_nothing_left(*m, "unload");
	return 0;
}

bool modules::loaded(const std::string &name) { return lookup(name) && lookup(name)->loaded; }

void modules::unload_all()
{
	while (!loader().order.empty()) {
		const std::string name = loader().order.back();
		Module &m = loader().modules[name];
		m.refs = 0;
		if (unload(name) != 0) {
			violations::report(name + " cannot be unloaded");
			m.loaded = false;
			loader().order.pop_back();
		}
	}
}

struct module *modules::find(const std::string &name)
{
	return lookup(name) ? lookup(name)->mod : nullptr;
}

std::vector<std::string> modules::info(const std::string &name, const std::string &tag)
{
	std::vector<std::string> values;
	if (Module *m = lookup(name))
		for (auto [it, last] = m->info.equal_range(tag); it != last; ++it)
			values.push_back(it->second);
	return values;
}

namespace detail {

const struct module *running_module() { return loader().running; }

ModuleScope::ModuleScope(const struct module *mod) : previous_(loader().running)
{
	loader().running = mod;
}

ModuleScope::~ModuleScope() { loader().running = previous_; }

// An open file holds its module.
bool module_get(struct module *mod)
{
	if (mod && !record_of(mod).loaded)
		return false;
	if (mod)
		record_of(mod).refs++;
	return true;
}

void module_put(struct module *mod)
{
	if (mod)
		record_of(mod).refs--;
}

}  // namespace detail
}  // namespace ksim

extern "C" {

void ksim_module_set_init(struct module *mod, int (*init)(void))
{
	ksim::record_of(mod).init = init;
}

void ksim_module_set_exit(struct module *mod, void (*exit)(void))
{
	ksim::record_of(mod).exit = exit;
}

void ksim_module_add_info(struct module *mod, const char *tag, const char *value)
{
	ksim::record_of(mod).info.emplace(tag, value);
}

}  // extern "C"
