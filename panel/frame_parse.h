// The panel's serial frame: {module,value}, at most 20 bytes on the line.
#pragma once

#include <cstddef>

// A field holds at most 9 characters and its terminating zero.
constexpr std::size_t frame_field_size = 10;

// Takes a received frame's text apart into its module and value fields.
// Only a whole frame is taken: '{', a module of 1 to 9 bytes, ',', a value
// of 1 to 8 bytes, '}' and the text's end, the two runs holding no ',', '{'
// or '}'. The value keeps the frame's closing brace. Returns false, and
// leaves both fields as they were, for any other text, so a module is never
// paired with another frame's value.
bool parse_frame(const char *text, char (&module)[frame_field_size],
		 char (&value)[frame_field_size]);
