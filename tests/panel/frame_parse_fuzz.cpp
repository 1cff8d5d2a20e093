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

	parse_frame(text.data(), module, value);

	require(terminated(module) && terminated(value));
	const std::string frame(text.data());
	const bool module_changed = module != old_module;
	const bool value_changed = value != old_value;
	if (frame.empty() || frame[0] != '{')
		require(!module_changed && !value_changed);
	// Fields hold runs of the text: "{module" then ',' or the end, then value.
	if (module_changed) {
		const std::string head = "{" + std::string(module);
		require(frame.compare(0, head.size(), head) == 0);
		require(frame.size() == head.size() || frame[head.size()] == ',');
	}
	if (value_changed) {
		const std::string head = "{" + std::string(module) + "," + value;
		require(frame.compare(0, head.size(), head) == 0);
		require(frame.size() == head.size() || frame[head.size()] == ',');
	}
	return 0;
}
