#pragma once
#include <cstddef>
#include <string>

// The text of an INI file as the settings reader takes it, and the one
// edit the game makes in it. Nothing here knows which sections or keys
// exist: that is the settings table's (platform/Settings.h).
//
// A line is a "[section]", a "key = value" entry, or nothing (blank, or a
// comment: '#' or ';' first). Spaces and tabs around names and values do
// not count, nor a '\r' before the '\n' (a Windows line end). A UTF-8
// byte-order mark before the first line is passed over.

// Where the first line starts: past a byte-order mark, if any.
size_t IniFirstLine(const char* text, size_t size);

enum class IniLineKind { Nothing, Section, Entry, NotText, UnclosedSection, NoEquals };

// One line of the text. Positions are in the text.
struct IniLine {
    size_t end = 0;   // where the line's bytes end, before its '\n'
    size_t next = 0;  // where the next line starts (the size at the last)
    IniLineKind kind = IniLineKind::Nothing;
    size_t nameBegin = 0, nameEnd = 0;    // the section's name, or the entry's key
    size_t equals = 0;                    // the entry's '='
    size_t valueBegin = 0, valueEnd = 0;  // the entry's value
};

// The line that starts at `at` (< size). A line holding a zero byte is
// NotText; a '[' without its closing ']' is UnclosedSection; anything else
// without '=' is NoEquals.
IniLine ReadIniLine(const char* text, size_t size, size_t at);

// Narrows [*begin, *end) of `text` past spaces and tabs, and at the end
// also carriage returns.
void TrimIniSpan(const char* text, size_t* begin, size_t* end);

// Whether text[begin, end) is `name`, without regard to case.
bool IniNameIs(const char* text, size_t begin, size_t end, const char* name);

// `text` with `key` in `[section]` (both without regard to case, as the
// reader takes them) set to `value`. The key's last line in the section
// (the reader takes the last) gets the new value in place of the old, its
// spelling and spacing kept; a missing key is added under the section's
// last line that is not blank or a comment, a missing section at the end
// after a blank line. Added lines end as the file's first line does
// ("\r\n" or "\n"). Every other byte is kept: comments, blank lines, lines
// the reader refuses, unknown sections and keys, their order, a
// byte-order mark, the lack of a line end at the end where nothing is added.
std::string SetSettingInText(const std::string& text, const char* section, const char* key, const std::string& value);
