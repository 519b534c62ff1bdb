#include "hosts/desktop/WorldAnswers.h"

#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace {

using Json = nlohmann::json;

// The largest numbers an answer may hold: ranks and counts of entries up to
// a million million, scores and lengths as the game counts them.
constexpr int64_t kMaxCount = 1000000000000LL;
constexpr int64_t kMaxScore = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxLevel = 1000;
constexpr int64_t kMaxDifficulty = 2;

// The body as JSON, without exceptions: a discarded value when it is not.
Json Parse(const char* body, size_t size) {
    if (body == nullptr) return Json(Json::value_t::discarded);
    return Json::parse(body, body + size, nullptr, false);
}

// A whole number from `min` to `max` at `key` of `object`.
bool ReadNumber(const Json& object, const char* key, int64_t min, int64_t max, int64_t* out) {
    const auto it = object.find(key);
    if (it == object.end()) return false;
    if (it->is_number_unsigned()) {
        const uint64_t value = it->get<uint64_t>();
        if (value > static_cast<uint64_t>(max) || static_cast<int64_t>(value) < min) return false;
        *out = static_cast<int64_t>(value);
        return true;
    }
    if (!it->is_number_integer()) return false;
    const int64_t value = it->get<int64_t>();
    if (value < min || value > max) return false;
    *out = value;
    return true;
}

bool ReadInt32(const Json& object, const char* key, int64_t min, int64_t max, int32_t* out) {
    int64_t value = 0;
    if (!ReadNumber(object, key, min, max, &value)) return false;
    *out = static_cast<int32_t>(value);
    return true;
}

// Text at `key`, shown as printable ASCII and clipped to `outSize` bytes.
bool ReadText(const Json& object, const char* key, char* out, size_t outSize) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return false;
    const std::string& text = it->get_ref<const std::string&>();
    CopyShownText(text.data(), text.size(), out, outSize);
    return true;
}

bool ReadId(const Json& object, const char* key, char* out, size_t outSize) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return false;
    const std::string& text = it->get_ref<const std::string&>();
    if (text.size() + 1 > outSize || !IsWorldId(text.c_str())) return false;
    std::memcpy(out, text.c_str(), text.size() + 1);
    return true;
}

bool ReadResult(const Json& item, WorldSent::Result* result) {
    return item.is_object() && ReadText(item, "name", result->name, sizeof result->name) &&
           ReadInt32(item, "score", 0, kMaxScore, &result->score) &&
           ReadInt32(item, "level", 0, kMaxLevel, &result->level) &&
           ReadNumber(item, "rank", 1, kMaxCount, &result->rank);
}

bool ReadRow(const Json& item, WorldRow* row) {
    return item.is_object() && ReadNumber(item, "rank", 1, kMaxCount, &row->rank) &&
           ReadText(item, "name", row->name, sizeof row->name) && ReadInt32(item, "score", 0, kMaxScore, &row->score) &&
           ReadInt32(item, "level", 0, kMaxLevel, &row->level) &&
           ReadInt32(item, "length", 0, kMaxScore, &row->length) &&
           ReadText(item, "date", row->date, sizeof row->date) &&
           ReadId(item, "replay", row->replay, sizeof row->replay);
}

}  // namespace

bool IsWorldId(const char* text) {
    if (text == nullptr) return false;
    for (int i = 0; i < kWorldIdDigits; ++i) {
        const char c = text[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return text[kWorldIdDigits] == '\0';
}

void CopyShownText(const char* text, size_t size, char* out, size_t outSize) {
    if (outSize == 0) return;
    size_t n = 0;
    for (; n < size && n + 1 < outSize; ++n) {
        const char c = text[n];
        out[n] = c >= ' ' && c <= '~' ? c : '?';
    }
    out[n] = '\0';
}

bool ReadSentAnswer(const char* body, size_t size, WorldSent* sent) {
    const Json answer = Parse(body, size);
    if (!answer.is_object()) return false;
    WorldSent read;
    std::memcpy(read.tag, sent->tag, sizeof read.tag);
    read.outcome = WorldSent::Outcome::Ranked;
    if (!ReadId(answer, "id", read.id, sizeof read.id) ||
        !ReadInt32(answer, "difficulty", 0, kMaxDifficulty, &read.difficulty) ||
        !ReadNumber(answer, "entries", 0, kMaxCount, &read.entries)) {
        return false;
    }
    const auto results = answer.find("results");
    if (results == answer.end() || !results->is_array() || results->empty()) return false;
    for (const Json& item : *results) {
        if (read.count == kWorldResultsMax) break;
        if (!ReadResult(item, &read.results[read.count])) return false;
        ++read.count;
    }
    *sent = read;
    return true;
}

void ReadRefusal(const char* body, size_t size, const char* fallback, char* reason, size_t reasonSize) {
    const Json answer = Parse(body, size);
    if (answer.is_object() && ReadText(answer, "error", reason, reasonSize) && reason[0] != '\0') return;
    CopyShownText(fallback, std::strlen(fallback), reason, reasonSize);
}

bool ReadTableRows(const char* body, size_t size, WorldRow* rows, int capacity, int* count) {
    const Json answer = Parse(body, size);
    if (!answer.is_array()) return false;
    int n = 0;
    for (const Json& item : answer) {
        if (n == capacity) break;
        WorldRow row;
        if (!ReadRow(item, &row)) return false;
        rows[n++] = row;
    }
    *count = n;
    return true;
}
