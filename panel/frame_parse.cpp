#include "frame_parse.h"

#include <cstring>

namespace {

// A run that is empty or would not fit with its terminating zero is refused,
// so the field is never overrun.
bool take_run(const char *run, std::size_t length, char (&field)[frame_field_size])
{
	if (length == 0 || length >= frame_field_size)
		return false;
	std::memcpy(field, run, length);
	field[length] = '\0';
	return true;
}

} // namespace

void parse_frame(const char *text, char (&module)[frame_field_size],
		 char (&value)[frame_field_size])
{
	if (text[0] != '{')
		return;
	const char *module_run = text + 1;
	std::size_t module_length = std::strcspn(module_run, ",");
	if (!take_run(module_run, module_length, module))
		return;
	if (module_run[module_length] != ',')
		return;
	const char *value_run = module_run + module_length + 1;
	take_run(value_run, std::strcspn(value_run, ","), value);
}
