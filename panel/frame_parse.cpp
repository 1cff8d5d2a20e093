#include "frame_parse.h"

#include <cstring>

namespace {

// The bytes that delimit a frame's runs and may not stand inside one.
constexpr const char *delimiters = ",{}";

// A run fits when it is not empty and leaves room for the terminating zero.
bool fits(std::size_t length)
{
	return length > 0 && length < frame_field_size;
}

void copy_run(const char *run, std::size_t length, char (&field)[frame_field_size])
{
	std::memcpy(field, run, length);
	field[length] = '\0';
}

} // namespace

bool parse_frame(const char *text, char (&module)[frame_field_size],
		 char (&value)[frame_field_size])
{
	if (text[0] != '{')
		return false;
	const char *module_run = text + 1;
	const std::size_t module_length = std::strcspn(module_run, delimiters);
	if (module_run[module_length] != ',')
		return false;
	const char *value_run = module_run + module_length + 1;
	const std::size_t value_length = std::strcspn(value_run, delimiters);
	if (value_length == 0 || value_run[value_length] != '}' || value_run[value_length + 1] != '\0')
		return false;
	// The value's run keeps its closing brace.
	if (!fits(module_length) || !fits(value_length + 1))
		return false;
	copy_run(module_run, module_length, module);
	copy_run(value_run, value_length + 1, value);
	return true;
}
