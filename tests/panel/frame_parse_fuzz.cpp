// libFuzzer target: any text, any length, into the two fields.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frame_parse.h"

namespace {

void require(bool holds)
{
	if (!holds)
		std::abort();
}

bool terminated(const char (&field)[frame_field_size])
{
	return std::memchr(field, '\0', frame_field_size) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
	// Exactly as long as the input plus its terminator, so a read past the
	// end hits AddressSanitizer's redzone.
	std::vector<char> text(data, data + size);
	text.push_back('\0');
	const std::string old_module = "old";
	const std::string old_value = "7}";
	char module[frame_field_size] = "old";
	char value[frame_field_size] = "7}";

	const bool taken = parse_frame(text.data(), module, value);

	require(terminated(module) && terminated(value));
	const std::string frame(text.data());
	if (!taken) {
		require(module == old_module && value == old_value);
		return 0;
	}
	// A taken frame is exactly "{module,value}", the value keeping the brace.
	require(frame == "{" + std::string(module) + "," + value);
	const std::string value_run(value, std::strlen(value) - 1);
	require(std::strcspn(module, ",{}") == std::strlen(module) && std::strlen(module) > 0);
	require(value_run.find_first_of(",{}") == std::string::npos && !value_run.empty());
	require(value[std::strlen(value) - 1] == '}');
	return 0;
}
