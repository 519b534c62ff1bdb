#pragma once
#include <cstddef>
#include <string>

// Text from the player's files, the environment or the command line, made
// safe to print on a terminal: every control character (the bytes below
// 0x20, DEL and the C1 controls U+0080..U+009F) and every byte that is not
// part of well-formed UTF-8 becomes '?', so no escape sequence reaches the
// terminal; any other UTF-8 character is kept whole.

// Copies `text` (null: nothing) into `out`, terminated when outSize > 0. A
// character that does not fit whole is left out, with all that follows.
void CopyPrintable(const char* text, char* out, size_t outSize);

// The same for code outside the frame loop (a zero byte becomes '?' too).
std::string Printable(const std::string& text);

// Printable(text) in double quotes, as a message quotes what the player wrote.
std::string PrintableQuoted(const std::string& text);
