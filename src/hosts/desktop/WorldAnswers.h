#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/WorldLink.h"

// Reading the world table server's answers (docs/server.md's API), which
// come from the network and are trusted in nothing: a body that is not
// JSON, a field of the wrong type or out of its range, or an id that is not
// one refuses the whole answer; text is clipped to its field and shown as
// printable ASCII only ('?' for any other byte), so a name can hold no
// markup or control that reaches the screen as more than letters.

// An id as the server gives them: 16 lower-case hexadecimal digits.
inline constexpr int kWorldIdDigits = 16;
bool IsWorldId(const char* text);

// Copies `size` bytes of `text` into `out` (`outSize` bytes, zero-ended),
// clipped, each byte outside printable ASCII as '?'.
void CopyShownText(const char* text, size_t size, char* out, size_t outSize);

// A 200 or 201 answer to a sent replay: {"id","difficulty","entries",
// "results":[{"name","score","level","rank"}...]} into `sent` (Ranked; tag
// left as it is). False when the body is not such an answer.
bool ReadSentAnswer(const char* body, size_t size, WorldSent* sent);

// A refusal's words ({"error": "..."}) into `reason`; a body without them
// gives `fallback`.
void ReadRefusal(const char* body, size_t size, const char* fallback, char* reason, size_t reasonSize);

// A table's rows ([{"rank","name","score","level","length","date","replay"}...])
// into `rows`, at most `capacity` of them (the rest are passed over). False
// when the body is not such an array.
bool ReadTableRows(const char* body, size_t size, WorldRow* rows, int capacity, int* count);
