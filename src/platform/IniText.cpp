#include "platform/IniText.h"

#include <strings.h>

#include <cstring>

namespace {

// A UTF-8 byte-order mark, as some editors put before the first line.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr size_t kByteOrderMarkSize = sizeof kByteOrderMark - 1;

bool Blank(char c) { return c == ' ' || c == '\t'; }

// The line end the file uses: that of its first line.
const char* LineEndOf(const std::string& text) {
    const size_t newline = text.find('\n');
    return newline != std::string::npos && newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
}

// The line of an entry that is not blank or a comment, from its trimmed
// bytes [begin, end).
void ReadEntryLine(const char* text, size_t begin, size_t end, IniLine* line) {
    const char* equals = static_cast<const char*>(std::memchr(text + begin, '=', end - begin));
    if (equals == nullptr) {
        line->kind = IniLineKind::NoEquals;
        return;
    }
    line->kind = IniLineKind::Entry;
    line->equals = static_cast<size_t>(equals - text);
    line->nameBegin = begin;
    line->nameEnd = line->equals;
    TrimIniSpan(text, &line->nameBegin, &line->nameEnd);
    line->valueBegin = line->equals + 1;
    line->valueEnd = end;
    TrimIniSpan(text, &line->valueBegin, &line->valueEnd);
}

// Where `key` of `section` stands in `text`.
struct KeyPlace {
    bool found = false;
    IniLine last;                      // the key's last line in the section: the one the reader keeps
    size_t after = std::string::npos;  // past the section's last line that is not blank or a comment
};

KeyPlace FindKey(const std::string& text, const char* section, const char* key) {
    const char* data = text.data();
    const size_t size = text.size();
    KeyPlace place;
    bool inSection = false;
    for (size_t at = IniFirstLine(data, size); at < size;) {
        const IniLine line = ReadIniLine(data, size, at);
        at = line.next;
        if (line.kind == IniLineKind::Section || line.kind == IniLineKind::UnclosedSection) {
            inSection = line.kind == IniLineKind::Section && IniNameIs(data, line.nameBegin, line.nameEnd, section);
            if (inSection) place.after = line.next;
            continue;
        }
        if (!inSection || line.kind == IniLineKind::Nothing) continue;
        place.after = line.next;
        if (line.kind == IniLineKind::Entry && IniNameIs(data, line.nameBegin, line.nameEnd, key)) {
            place.last = line;
            place.found = true;
        }
    }
    return place;
}

// `text` ended so that a new section can follow: its last line ended, and
// a blank line after it (none in an empty file).
std::string EndedForSection(const std::string& text, const std::string& lineEnd) {
    const size_t first = IniFirstLine(text.data(), text.size());
    std::string ended = text;
    if (text.size() <= first) return ended;
    if (text.back() != '\n') ended += lineEnd;
    const size_t previous = ended.size() >= 2 ? ended.rfind('\n', ended.size() - 2) : std::string::npos;
    size_t at = previous == std::string::npos ? first : previous + 1;
    while (at < ended.size() && (Blank(ended[at]) || ended[at] == '\r')) ++at;
    if (at >= ended.size() || ended[at] != '\n') ended += lineEnd;  // the last line is not blank already
    return ended;
}

}  // namespace

size_t IniFirstLine(const char* text, size_t size) {
    return size >= kByteOrderMarkSize && std::memcmp(text, kByteOrderMark, kByteOrderMarkSize) == 0 ? kByteOrderMarkSize
                                                                                                    : 0;
}

void TrimIniSpan(const char* text, size_t* begin, size_t* end) {
    while (*begin < *end && Blank(text[*begin])) ++*begin;
    while (*end > *begin && (Blank(text[*end - 1]) || text[*end - 1] == '\r')) --*end;
}

bool IniNameIs(const char* text, size_t begin, size_t end, const char* name) {
    return std::strlen(name) == end - begin && strncasecmp(text + begin, name, end - begin) == 0;
}

IniLine ReadIniLine(const char* text, size_t size, size_t at) {
    IniLine line;
    const char* newline = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
    line.end = newline != nullptr ? static_cast<size_t>(newline - text) : size;
    line.next = newline != nullptr ? line.end + 1 : size;
    if (std::memchr(text + at, '\0', line.end - at) != nullptr) {
        line.kind = IniLineKind::NotText;
        return line;
    }
    size_t begin = at;
    size_t end = line.end;
    TrimIniSpan(text, &begin, &end);
    if (begin == end || text[begin] == '#' || text[begin] == ';') return line;
    if (text[begin] != '[') {
        ReadEntryLine(text, begin, end, &line);
        return line;
    }
    if (text[end - 1] != ']') {
        line.kind = IniLineKind::UnclosedSection;
        return line;
    }
    line.kind = IniLineKind::Section;
    line.nameBegin = begin + 1;
    line.nameEnd = end - 1;
    TrimIniSpan(text, &line.nameBegin, &line.nameEnd);
    return line;
}

std::string SetSettingInText(const std::string& text, const char* section, const char* key, const std::string& value) {
    const std::string lineEnd = LineEndOf(text);
    const KeyPlace place = FindKey(text, section, key);
    std::string changed = text;
    if (place.found) {
        const IniLine& last = place.last;
        if (last.valueBegin < last.valueEnd) {
            changed.replace(last.valueBegin, last.valueEnd - last.valueBegin, value);
        } else {
            changed.insert(last.equals + 1, " " + value);  // "key =" had no value
        }
        return changed;
    }
    const std::string entry = std::string(key) + " = " + value + lineEnd;
    if (place.after != std::string::npos) {
        // Under the section's last line, which may have had no line end.
        changed.insert(place.after, (text[place.after - 1] == '\n' ? "" : lineEnd) + entry);
        return changed;
    }
    // A section of its own at the end, after a blank line.
    return EndedForSection(text, lineEnd) + "[" + section + "]" + lineEnd + entry;
}
