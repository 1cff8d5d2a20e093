// The AP3216C light, proximity and infrared sensor, as the I2C bus sees it.
#pragma once

#include <array>
#include <cstdint>

#include "ksim/model.hpp"

namespace ksim::hw {

class Ap3216c : public i2c::Chip {
public:
	static constexpr std::uint16_t address = 0x1e;

	static constexpr std::uint8_t sys_config = 0x00;
	static constexpr std::uint8_t mode_power_down = 0x00;
	static constexpr std::uint8_t mode_als = 0x01;
	static constexpr std::uint8_t mode_ps_ir = 0x02;
	static constexpr std::uint8_t mode_als_ps_ir = 0x03;
	static constexpr std::uint8_t mode_sw_reset = 0x04;

	static constexpr std::uint8_t ir_data = 0x0a;
	static constexpr std::uint8_t als_data = 0x0c;
	static constexpr std::uint8_t ps_data = 0x0e;

	// What the chip measures from now on. The word shows in its data
	// register pair (low byte first) while its function is enabled.
	void set_measurement(std::uint8_t data_reg, std::uint16_t word);

	std::uint8_t mode() const { return regs_[sys_config]; }

	int write_byte_data(std::uint8_t command, std::uint8_t value) override;
	int read_word_data(std::uint8_t command) override;

private:
	bool measuring(std::uint8_t data_reg) const;
	void latch_measurements();

	std::array<std::uint8_t, 256> regs_{};
	std::array<std::uint16_t, 3> measured_{};
};

}  // namespace ksim::hw
