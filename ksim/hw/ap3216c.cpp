// The AP3216C: a register file behind the SMBus, a system configuration
// register that resets or enables the functions, and data registers that
// follow the scene while their function is on.
#include "ksim/hw/ap3216c.hpp"

namespace ksim::hw {
namespace {

constexpr std::uint8_t data_regs[] = {Ap3216c::ir_data, Ap3216c::als_data,
				      Ap3216c::ps_data};

int slot_of(std::uint8_t data_reg)
{
	for (int i = 0; i < 3; i++)
		if (data_regs[i] == data_reg)
			return i;
	return -1;
}

}  // namespace

void Ap3216c::set_measurement(std::uint8_t data_reg, std::uint16_t word)
{
	int slot = slot_of(data_reg);
	if (slot < 0) {
		violations::report("AP3216C has no data register pair at " +
				   std::to_string(data_reg));
		return;
	}
	measured_[slot] = word;
	latch_measurements();
}

int Ap3216c::write_byte_data(std::uint8_t command, std::uint8_t value)
{
	if (command == sys_config && value == mode_sw_reset) {
		// Every register back to its power-on value: powered down, no data.
		regs_.fill(0);
		return 0;
	}
	regs_[command] = value;
	latch_measurements();
	return 0;
}

int Ap3216c::read_word_data(std::uint8_t command)
{
	return regs_[command] | regs_[static_cast<std::uint8_t>(command + 1)] << 8;
}

// IR and PS are one function on this chip; ALS is the other.
bool Ap3216c::measuring(std::uint8_t data_reg) const
{
	std::uint8_t mode = regs_[sys_config];
	bool als = mode == mode_als || mode == mode_als_ps_ir;
	bool ps_ir = mode == mode_ps_ir || mode == mode_als_ps_ir;
	return data_reg == als_data ? als : ps_ir;
}

void Ap3216c::latch_measurements()
{
	for (int i = 0; i < 3; i++) {
		if (!measuring(data_regs[i]))
			continue;
		regs_[data_regs[i]] = measured_[i] & 0xff;
		regs_[data_regs[i] + 1] = measured_[i] >> 8;
	}
}

}  // namespace ksim::hw
