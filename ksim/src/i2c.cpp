// The I2C core: adapters with reference counts, clients created by board
// code or declared in the device tree, driver binding and SMBus transfers.
#include "ksim/i2c.hpp"

#include <linux/i2c.h>
#include <linux/module.h>
#include <linux/of.h>
#include <ksim/runtime.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <list>
#include <map>
#include <memory>

#include "ksim/context.hpp"
#include "internal.hpp"

namespace ksim::i2c {
namespace {

struct Adapter {
	std::unique_ptr<i2c_adapter> adap;
	std::string name;
	int refs = 0;
};

struct Client {
	// Owned here and freed on unregister, so a driver that keeps the
	// pointer past remove trips AddressSanitizer.
	std::unique_ptr<i2c_client> client;
	std::string dev_name;
	std::unique_ptr<device_node> node;
	std::string compatible;
	i2c_driver *driver = nullptr;
	int last_probe = 0;
};

struct Core {
	std::map<int, Adapter> adapters;
	std::list<Client> clients;
	std::vector<i2c_driver *> drivers;
	std::map<std::pair<int, std::uint16_t>, Chip *> chips;
	std::vector<Transfer> transfers;
};

Core &core()
{
	static Core c;
	return c;
}

struct bus_type i2c_bus_type = {"i2c"};

Adapter *adapter_of(const i2c_adapter *adap)
{
	for (auto &entry : core().adapters)
		if (entry.second.adap.get() == adap)
			return &entry.second;
	return nullptr;
}

Client *entry_of(int nr, std::uint16_t addr)
{
	for (Client &c : core().clients)
		if (c.client->adapter->nr == nr && c.client->addr == addr)
			return &c;
	return nullptr;
}

Client *entry_of(const i2c_client *client)
{
	for (Client &c : core().clients)
		if (c.client.get() == client)
			return &c;
	return nullptr;
}

bool of_matches(const i2c_driver *drv, const Client &c)
{
	const of_device_id *id = drv->driver.of_match_table;
	if (!id || c.compatible.empty())
		return false;
	for (; id->name[0] || id->type[0] || id->compatible[0]; id++)
		if (c.compatible == id->compatible)
			return true;
	return false;
}

const i2c_device_id *match_id(const i2c_device_id *id, const i2c_client *client)
{
	for (; id && id->name[0]; id++)
		if (std::strcmp(id->name, client->name) == 0)
			return id;
	return nullptr;
}

bool matches(const i2c_driver *drv, const Client &c)
{
	return of_matches(drv, c) || match_id(drv->id_table, c.client.get());
}

// As the 4.1 core does: a driver without an id table never probes.
int probe(Client &c, i2c_driver *drv)
{
	if (!drv->probe || !drv->id_table)
		return -ENODEV;
	c.client->dev.driver = &drv->driver;
	int before = detail::mutexes_held();
	int result = drv->probe(c.client.get(), match_id(drv->id_table, c.client.get()));
	detail::check_return("probe", before);
	c.last_probe = result;
	if (result == 0) {
		c.driver = drv;
		return 0;
	}
	c.client->dev.driver = nullptr;
	c.client->dev.driver_data = nullptr;
	detail::report_failed_probe(&drv->driver, c.dev_name.c_str(), result);
	return result;
}

void remove(Client &c)
{
	i2c_driver *drv = c.driver;
	if (!drv)
		return;
	if (drv->remove) {
		int before = detail::mutexes_held();
		drv->remove(c.client.get());
		detail::check_return("remove", before);
	}
	c.driver = nullptr;
	c.client->dev.driver = nullptr;
	c.client->dev.driver_data = nullptr;
}

int attach_driver(Client &c)
{
	for (i2c_driver *drv : core().drivers)
		if (matches(drv, c))
			return probe(c, drv);
	return -ENODEV;
}

// Makes the client as i2c_new_device does; nullptr when the address is taken.
Client *add_client(i2c_adapter *adap, const i2c_board_info &info,
		   const std::string &compatible)
{
	if (entry_of(adap->nr, info.addr)) {
		dev_err(&adap->dev, "Failed to register i2c client %.*s at 0x%02x (%d)\n",
			I2C_NAME_SIZE, info.type, info.addr, -EBUSY);
		return nullptr;
	}
	auto client = std::make_unique<i2c_client>();
	client->adapter = adap;
	client->flags = info.flags;
	client->addr = info.addr;
	client->irq = info.irq;
	std::memcpy(client->name, info.type, sizeof(client->name));
	client->name[sizeof(client->name) - 1] = '\0';

	i2c_client *created = client.get();
	core().clients.push_back({std::move(client), "", nullptr, compatible});
	Client &c = core().clients.back();
	char name[16];
	std::snprintf(name, sizeof(name), "%d-%04x", adap->nr, info.addr);
	c.dev_name = name;
	created->dev.init_name = c.dev_name.c_str();
	created->dev.parent = &adap->dev;
	created->dev.bus = &i2c_bus_type;
	created->dev.of_node = info.of_node;
	attach_driver(c);
	return &c;
}

void delete_client(Client &c)
{
	remove(c);
	core().clients.remove_if([&c](const Client &other) { return &other == &c; });
}

void log_transfer(const i2c_client *client, Op op, std::uint8_t command,
		  std::uint8_t value, int result)
{
	core().transfers.push_back({time::now(), client->adapter->nr, client->addr,
				    op, command, value, result});
}

Chip *chip_of(const i2c_client *client)
{
	auto it = core().chips.find({client->adapter->nr, client->addr});
	return it == core().chips.end() ? nullptr : it->second;
}

}  // namespace

void add_adapter(int nr)
{
	Adapter &a = core().adapters[nr];
	if (a.adap)
		return;
	a.name = "i2c-" + std::to_string(nr);
	a.adap = std::make_unique<i2c_adapter>();
	a.adap->nr = nr;
	a.adap->dev.init_name = a.name.c_str();
}

int adapter_refs(int nr)
{
	auto it = core().adapters.find(nr);
	return it == core().adapters.end() ? 0 : it->second.refs;
}

void attach(int nr, std::uint16_t addr, Chip &chip)
{
	core().chips[{nr, addr}] = &chip;
}

void declare(int nr, std::uint16_t addr, const std::string &compatible)
{
	auto it = core().adapters.find(nr);
	if (it == core().adapters.end()) {
		violations::report("device-tree node on missing adapter " +
				   std::to_string(nr));
		return;
	}
	auto node = std::make_unique<device_node>();
	i2c_board_info info = {};
	// The client's type is the compatible without its vendor prefix.
	std::string type = compatible.substr(compatible.find(',') + 1);
	std::strncpy(info.type, type.c_str(), sizeof(info.type) - 1);
	info.addr = addr;
	info.of_node = node.get();
	Client *c = add_client(it->second.adap.get(), info, compatible);
	if (c)
		c->node = std::move(node);
}

struct i2c_client *client(int nr, std::uint16_t addr)
{
	Client *c = entry_of(nr, addr);
	return c ? c->client.get() : nullptr;
}

std::string driver(int nr, std::uint16_t addr)
{
	Client *c = entry_of(nr, addr);
	return c && c->driver ? c->driver->driver.name : "";
}

int last_probe_result(int nr, std::uint16_t addr)
{
	Client *c = entry_of(nr, addr);
	return c ? c->last_probe : -ENODEV;
}

void unbind(int nr, std::uint16_t addr)
{
	if (Client *c = entry_of(nr, addr))
		remove(*c);
}

int bind(int nr, std::uint16_t addr)
{
	Client *c = entry_of(nr, addr);
	if (!c)
		return -ENODEV;
	if (c->driver)
		return -EBUSY;
	return attach_driver(*c);
}

const std::vector<Transfer> &transfers()
{
	return core().transfers;
}

void clear_transfers()
{
	core().transfers.clear();
}

}  // namespace ksim::i2c

namespace ksim::detail {

void reset_i2c()
{
	i2c::core() = i2c::Core{};
}

std::vector<std::string> i2c_drivers_held_by(const struct module *mod)
{
	std::vector<std::string> held;
	for (const i2c_driver *drv : i2c::core().drivers)
		if (drv->driver.owner == mod)
			held.push_back(std::string("i2c driver \"") + drv->driver.name +
				       "\"");
	return held;
}

}  // namespace ksim::detail

using namespace ksim::i2c;

extern "C" {

struct i2c_adapter *i2c_get_adapter(int nr)
{
	auto it = core().adapters.find(nr);
	if (it == core().adapters.end())
		return nullptr;
	it->second.refs++;
	return it->second.adap.get();
}

void i2c_put_adapter(struct i2c_adapter *adap)
{
	if (!adap)
		return;
	Adapter *a = adapter_of(adap);
	if (!a || a->refs == 0) {
		ksim::violations::report("i2c_put_adapter without a reference");
		return;
	}
	a->refs--;
}

struct i2c_client *i2c_new_device(struct i2c_adapter *adap,
				  struct i2c_board_info const *info)
{
	if (!adapter_of(adap)) {
		ksim::violations::report("i2c_new_device on an adapter that does not exist");
		return nullptr;
	}
	Client *c = add_client(adap, *info, "");
	return c ? c->client.get() : nullptr;
}

void i2c_unregister_device(struct i2c_client *client)
{
	Client *c = entry_of(client);
	if (!c) {
		ksim::violations::report("i2c_unregister_device of a client that does not exist");
		return;
	}
	delete_client(*c);
}

int i2c_register_driver(struct module *owner, struct i2c_driver *driver)
{
	if (int error = ksim_fault("i2c_register_driver"))
		return error;
	auto &drivers = core().drivers;
	for (const i2c_driver *other : drivers)
		if (int error = ksim::detail::refuse_taken_name(&other->driver,
								 &driver->driver))
			return error;
	driver->driver.owner = owner;
	driver->driver.bus = &i2c_bus_type;
	drivers.push_back(driver);
	for (Client &c : core().clients)
		if (!c.driver && matches(driver, c))
			probe(c, driver);
	return 0;
}

void i2c_del_driver(struct i2c_driver *driver)
{
	auto &drivers = core().drivers;
	auto it = std::find(drivers.begin(), drivers.end(), driver);
	if (it == drivers.end()) {
		ksim::violations::report(std::string("i2c_del_driver of \"") +
					 driver->driver.name + "\", never registered");
		return;
	}
	for (Client &c : core().clients)
		if (c.driver == driver)
			remove(c);
	drivers.erase(it);
}

s32 i2c_smbus_write_byte_data(const struct i2c_client *client, u8 command,
			      u8 value)
{
	ksim_might_sleep("i2c_smbus_write_byte_data");
	int result = ksim_fault("i2c_smbus_write_byte_data");
	if (!result) {
		Chip *chip = chip_of(client);
		result = chip ? chip->write_byte_data(command, value) : -ENXIO;
	}
	log_transfer(client, Op::write_byte_data, command, value, result);
	return result;
}

s32 i2c_smbus_read_word_data(const struct i2c_client *client, u8 command)
{
	ksim_might_sleep("i2c_smbus_read_word_data");
	int result = ksim_fault("i2c_smbus_read_word_data");
	if (!result) {
		Chip *chip = chip_of(client);
		result = chip ? chip->read_word_data(command) : -ENXIO;
	}
	log_transfer(client, Op::read_word_data, command, 0, result);
	return result;
}

}  // extern "C"
