// The I2C core: adapters with reference counts, clients made by board code
// or declared in the device tree, the i2c bus and the SMBus transfers.
#include <linux/i2c.h>
#include <linux/module.h>
#include <linux/of.h>

#include <cstring>
#include <list>
#include <memory>

#include "internal.hpp"

namespace ksim {
namespace {

struct Adapter {
	std::unique_ptr<i2c_adapter> adap;
	std::string name;
	int refs = 0;
};

struct Client {
	// Freed on unregister, so a driver that keeps the pointer past remove
	// trips AddressSanitizer.
	std::unique_ptr<i2c_client> client;
	std::string name;
};

struct State {
	std::map<int, Adapter> adapters;
	std::list<Client> clients;
	std::map<std::pair<int, std::uint16_t>, i2c::Chip *> chips;
};

State &state()
{
	static State s;
	return s;
}

Adapter *adapter_of(const i2c_adapter *adap)
{
	for (auto &entry : state().adapters)
		if (entry.second.adap.get() == adap)
			return &entry.second;
	return nullptr;
}

const i2c_device_id *match_id(const i2c_device_id *id, const i2c_client *client)
{
	for (; id && id->name[0]; id++)
		if (!std::strcmp(id->name, client->name))
			return id;
	return nullptr;
}

i2c_client *client_of(struct device *dev)
{
	return container_of(dev, struct i2c_client, dev);
}

i2c_driver *driver_of(struct device_driver *drv)
{
	return container_of(drv, struct i2c_driver, driver);
}

// By OF compatible, else by the id table, as 4.1's i2c_device_match.
int bus_match(struct device *dev, struct device_driver *drv)
{
	return detail::of_matches(drv->of_match_table, dev) ||
	       match_id(driver_of(drv)->id_table, client_of(dev));
}

// As the 4.1 core does: a driver without an id table never probes.
int bus_probe(struct device *dev)
{
	i2c_driver *drv = driver_of(dev->driver);
	if (!drv->probe || !drv->id_table)
		return -ENODEV;
	return drv->probe(client_of(dev), match_id(drv->id_table, client_of(dev)));
}

int bus_remove(struct device *dev)
{
	i2c_driver *drv = driver_of(dev->driver);
	return drv->remove ? drv->remove(client_of(dev)) : 0;
}

struct bus_type i2c_bus_type = {"i2c", bus_match, bus_probe, bus_remove};

// As i2c_new_device: nullptr, and the core's line, when the address is taken.
i2c_client *new_client(i2c_adapter *adap, const i2c_board_info &info)
{
	for (const Client &c : state().clients) {
		if (c.client->adapter == adap && c.client->addr == info.addr) {
			printk(KERN_ERR "%s: Failed to register i2c client %.*s at 0x%02x (%d)\n",
			       adap->dev.init_name, I2C_NAME_SIZE, info.type, info.addr, -EBUSY);
			return nullptr;
		}
	}
	Client &c = state().clients.emplace_back(Client{
		std::make_unique<i2c_client>(), detail::format("%d-%04x", adap->nr, info.addr)});
	i2c_client *client = c.client.get();
	client->adapter = adap;
	client->addr = info.addr;
	std::memcpy(client->name, info.type, sizeof(client->name));
	client->name[sizeof(client->name) - 1] = '\0';
	client->dev.init_name = c.name.c_str();
	client->dev.bus = &i2c_bus_type;
	client->dev.of_node = info.of_node;
	detail::device_add(&client->dev);
	return client;
}

// Every transfer as the bus saw it, answered or not.
template <typename Op>
int transfer(const i2c_client *client, std::string what, const char *site, Op op)
{
	ksim_might_sleep(site);
	int result = ksim_fault(site);
	if (!result) {
		auto it = state().chips.find({client->adapter->nr, client->addr});
		result = it == state().chips.end() ? -ENXIO : op(*it->second);
	}
	detail::event("i2c", std::move(what));
	return result;
}

}  // namespace

void i2c::add_adapter(int nr)
{
	Adapter &a = state().adapters[nr];
	if (a.adap)
		return;
	a.name = "i2c-" + std::to_string(nr);
	a.adap = std::make_unique<i2c_adapter>();
	a.adap->nr = nr;
	a.adap->dev.init_name = a.name.c_str();
}

int i2c::adapter_refs(int nr) { return state().adapters.count(nr) ? state().adapters[nr].refs : 0; }

void i2c::attach(int nr, std::uint16_t addr, Chip &chip) { state().chips[{nr, addr}] = &chip; }

void i2c::declare(int nr, std::uint16_t addr, const std::string &compatible)
{
	if (!state().adapters.count(nr)) {
		violations::report("device-tree node on missing adapter " + std::to_string(nr));
		return;
	}
	const std::string type = compatible.substr(compatible.find(',') + 1);
	i2c_board_info info = {};
	std::strncpy(info.type, type.c_str(), sizeof(info.type) - 1);
	info.addr = addr;
	info.of_node = detail::add_node({type + detail::format("@%x", addr), {compatible}, {}, {}});
	new_client(state().adapters[nr].adap.get(), info);
}

void detail::reset_i2c() { state() = State{}; }

}  // namespace ksim

using ksim::state;

extern "C" {

struct i2c_adapter *i2c_get_adapter(int nr)
{
	if (!state().adapters.count(nr))
		return nullptr;
	state().adapters[nr].refs++;
	return state().adapters[nr].adap.get();
}

void i2c_put_adapter(struct i2c_adapter *adap)
{
	ksim::Adapter *a = adap ? ksim::adapter_of(adap) : nullptr;
	if (a && a->refs > 0)
		a->refs--;
	else if (adap)
		ksim::violations::report("i2c_put_adapter without a reference");
}

struct i2c_client *i2c_new_device(struct i2c_adapter *adap, struct i2c_board_info const *info)
{
	if (ksim::adapter_of(adap))
		return ksim::new_client(adap, *info);
	ksim::violations::report("i2c_new_device on an adapter that does not exist");
	return nullptr;
}

void i2c_unregister_device(struct i2c_client *client)
{
	auto &clients = state().clients;
	for (auto it = clients.begin(); it != clients.end(); ++it) {
		if (it->client.get() == client) {
			ksim::detail::device_del(&client->dev);
			clients.erase(it);
			return;
		}
	}
	ksim::violations::report("i2c_unregister_device of a client that does not exist");
}

int i2c_register_driver(struct module *owner, struct i2c_driver *driver)
{
	driver->driver.owner = owner;
	driver->driver.bus = &ksim::i2c_bus_type;
	return ksim::detail::driver_register("i2c_register_driver", &driver->driver);
}

void i2c_del_driver(struct i2c_driver *driver)
{
	ksim::detail::driver_unregister("i2c_del_driver", &driver->driver);
}

s32 i2c_smbus_write_byte_data(const struct i2c_client *client, u8 command, u8 value)
{
	return ksim::transfer(client,
			      ksim::detail::format("%s write 0x%02x 0x%02x", client->dev.init_name,
						   command, value),
			      "i2c_smbus_write_byte_data",
			      [&](ksim::i2c::Chip &chip) {
				      return chip.write_byte_data(command, value);
			      });
}

s32 i2c_smbus_read_word_data(const struct i2c_client *client, u8 command)
{
	return ksim::transfer(client, ksim::detail::format("%s read 0x%02x", client->dev.init_name,
							   command),
			      "i2c_smbus_read_word_data",
			      [&](ksim::i2c::Chip &chip) { return chip.read_word_data(command); });
}

}  // extern "C"
