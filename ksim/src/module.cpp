// The module loader: a registry of the modules linked into the program,
// filled before main() by module_init, module_exit and MODULE_INFO.
#include "ksim/modules.hpp"

#include <linux/errno.h>
#include <linux/module.h>
#include <linux/vermagic.h>

#include <algorithm>
#include <map>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::modules {
namespace {

struct Record {
	struct module *mod = nullptr;
	int (*init)(void) = nullptr;
	void (*exit)(void) = nullptr;
	std::multimap<std::string, std::string> info;
	bool loaded = false;
	int refs = 0;
};

std::map<std::string, Record> &registry()
{
	static std::map<std::string, Record> r;
	return r;
}

std::vector<std::string> &load_order()
{
	static std::vector<std::string> order;
	return order;
}

Record &record_of(struct module *mod)
{
	Record &r = registry()[mod->name];
	if (r.mod && r.mod != mod)
		violations::report(std::string("two modules named ") + mod->name);
	if (!r.mod) {
		r.mod = mod;
		r.info.emplace("vermagic", VERMAGIC_STRING);
	}
	return r;
}

Record *lookup(const std::string &name)
{
	auto it = registry().find(name);
	return it == registry().end() ? nullptr : &it->second;
}

void check_nothing_left(const Record &r, const char *after)
{
	std::vector<std::string> left;
	for (auto held : {detail::chrdev_held_by(r.mod), detail::classes_held_by(r.mod),
			  detail::drivers_held_by(r.mod), detail::i2c_drivers_held_by(r.mod),
			  detail::irqs_held_by(r.mod), detail::timers_armed_by(r.mod)})
		left.insert(left.end(), held.begin(), held.end());
	for (const std::string &what : left)
		violations::report(std::string(r.mod->name) + " left " + what +
				   " behind after " + after);
}

}  // namespace

int load(const std::string &name)
{
	Record *r = lookup(name);
	if (!r || !r->mod)
		return -ENOENT;
	if (r->loaded)
		return -EEXIST;
	r->loaded = true;
	int result = 0;
	if (r->init) {
		int before = detail::mutexes_held();
		detail::ModuleScope scope(r->mod);
		result = r->init();
		detail::check_return("module init", before);
	}
	if (result > 0)
		violations::report(name + " init returned " + std::to_string(result) +
				   ", not 0 or an error");
	if (result < 0) {
		r->loaded = false;
		check_nothing_left(*r, "failed init");
		return result;
	}
	load_order().push_back(name);
	return result;
}

int unload(const std::string &name)
{
	Record *r = lookup(name);
	if (!r || !r->loaded)
		return -ENOENT;
	if (r->refs > 0)
		return -EBUSY;
	if (!r->exit)
		return -EBUSY;
	int before = detail::mutexes_held();
	{
		detail::ModuleScope scope(r->mod);
		r->exit();
	}
	detail::check_return("module exit", before);
	r->loaded = false;
	auto &order = load_order();
	order.erase(std::remove(order.begin(), order.end(), name), order.end());
	check_nothing_left(*r, "unload");
	return 0;
}

bool loaded(const std::string &name)
{
	Record *r = lookup(name);
	return r && r->loaded;
}

void unload_all()
{
	while (!load_order().empty()) {
		std::string name = load_order().back();
		Record &r = registry()[name];
		r.refs = 0;
		if (unload(name) != 0) {
			violations::report(name + " cannot be unloaded");
			r.loaded = false;
			load_order().pop_back();
		}
	}
}

struct module *find(const std::string &name)
{
	Record *r = lookup(name);
	return r ? r->mod : nullptr;
}

std::vector<std::string> info(const std::string &name, const std::string &tag)
{
	std::vector<std::string> values;
	Record *r = lookup(name);
	if (!r)
		return values;
	auto [first, last] = r->info.equal_range(tag);
	for (auto it = first; it != last; ++it)
		values.push_back(it->second);
	return values;
}

}  // namespace ksim::modules

namespace ksim::detail {
namespace {

const struct module *&running()
{
	static const struct module *mod = nullptr;
	return mod;
}

}  // namespace

const struct module *running_module()
{
	return running();
}

ModuleScope::ModuleScope(const struct module *mod) : previous_(running())
{
	running() = mod;
}

ModuleScope::~ModuleScope()
{
	running() = previous_;
}

bool module_get(struct module *mod)
{
	if (!mod)
		return true;
	auto &r = modules::record_of(mod);
	if (!r.loaded)
		return false;
	r.refs++;
	return true;
}

void module_put(struct module *mod)
{
	if (!mod)
		return;
	auto &r = modules::record_of(mod);
	if (r.refs == 0)
		violations::report(std::string("module_put without a reference on ") +
				   mod->name);
	else
		r.refs--;
}

}  // namespace ksim::detail

extern "C" {

void ksim_module_set_init(struct module *mod, int (*init)(void))
{
	ksim::modules::record_of(mod).init = init;
}

void ksim_module_set_exit(struct module *mod, void (*exit)(void))
{
	ksim::modules::record_of(mod).exit = exit;
}

void ksim_module_add_info(struct module *mod, const char *tag, const char *value)
{
	ksim::modules::record_of(mod).info.emplace(tag, value);
}

}  // extern "C"
