// The I2C core: numbered adapters, the clients on them, the drivers bound
// to those, and the SMBus transfers that reach the chip models.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ksim/time.hpp"

struct i2c_client;

namespace ksim::i2c {

// The bus side of a chip model. Each call returns what the SMBus call
// returns: 0 (or the word read), or a negative errno.
class Chip {
public:
	virtual ~Chip() = default;
	virtual int write_byte_data(std::uint8_t command, std::uint8_t value) = 0;
	virtual int read_word_data(std::uint8_t command) = 0;
};

enum class Op { write_byte_data, read_word_data };

// One SMBus transfer as the bus saw it.
struct Transfer {
	time::Nanoseconds when;
	int adapter;
	std::uint16_t addr;
	Op op;
	std::uint8_t command;
	std::uint8_t value;  // the byte written; 0 for reads
	int result;          // the call's result
};

void add_adapter(int nr);
// References taken by i2c_get_adapter and not yet put back.
int adapter_refs(int nr);

// The chip answers transfers to @addr on adapter @nr; an address where no
// chip answers gets -ENXIO, as a transfer nobody acknowledges.
void attach(int nr, std::uint16_t addr, Chip &chip);

// A device-tree child node of adapter @nr: its client exists at once and
// binds as soon as a registered driver matches @compatible.
void declare(int nr, std::uint16_t addr, const std::string &compatible);

// The client at @addr on adapter @nr, or nullptr.
struct i2c_client *client(int nr, std::uint16_t addr);
// Name of the driver bound to that client, or "" when none is.
std::string driver(int nr, std::uint16_t addr);
// What the last probe of that client returned.
int last_probe_result(int nr, std::uint16_t addr);
// Manual unbind and bind, as through the driver's sysfs files.
void unbind(int nr, std::uint16_t addr);
int bind(int nr, std::uint16_t addr);

// Every transfer since reset or the last clear, in order.
const std::vector<Transfer> &transfers();
void clear_transfers();

}  // namespace ksim::i2c
