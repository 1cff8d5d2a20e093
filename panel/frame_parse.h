// The panel's serial frame: {module,value}, at most 20 bytes on the line.
#pragma once

#include <cstddef>

// A field holds at most 9 characters and its terminating zero.
constexpr std::size_t frame_field_size = 10;

// Splits the text of a received frame into its module and value fields.
// A field the text does not fill keeps its previous content: text that does
// not begin with '{', an empty run, or a run too long for its field ends the
// parse there. The value keeps the frame's closing brace, which the sender's
// format puts right after it.
void parse_frame(const char *text, char (&module)[frame_field_size],
		 char (&value)[frame_field_size]);
