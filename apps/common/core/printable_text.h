// Text from files and from the command line made safe to print: control
// characters (escape sequences that clear a screen or retitle a terminal,
// carriage returns that overwrite a line, newlines that forge one) and bytes
// that are not UTF-8 are written as visible escapes, and a line is cut to a
// bounded length.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trellin_app {

// The longest message line the programs print.
inline constexpr std::size_t max_message_length = 1000;

// `text` with every control character (C0, DEL and C1) written as \uXXXX and
// every byte that is not part of a UTF-8 character as \xXX; newlines are kept
// when `keep_newlines`. Longer than `limit` bytes, the result is cut (not
// within a character or an escape) and ends in "...".
std::string printable(std::string_view text, std::size_t limit = max_message_length, bool keep_newlines = false);

// A library's message on one line: trailing newlines and spaces dropped, the
// others newlines made spaces.
std::string one_line(std::string text);

}  // namespace trellin_app
