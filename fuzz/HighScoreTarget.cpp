// High-score files: HighScoreTable::LoadBytes, Sort and the table screen's
// Frame with the real fonts, then the table stored as a file's bytes and
// read back.
//
// The input is a high-score file; bytes after the first 320 (which the game
// ignores) choose the font, the continue button, the pointer position, the
// mouse button and a score to insert.
//
// Rules checked:
//   - each record holds the bytes of its 32-byte block (a short last block
//     fills its record byte by byte: a cut field keeps the bytes that are
//     there, the rest zero) and every name ends inside its record;
//   - Sort gives every record once, by descending score;
//   - Frame answers 0, 1 (only with the continue button) or 2;
//   - a table stores and reads back byte for byte: nothing is lost;
//   - Insert replaces the first lowest record only when the score beats it.

#include <cstring>

#include "FuzzTargets.h"
#include "app/Game.h"
#include "io/Input.h"

namespace {

// The little-endian field at `offset` of a block of which `n` bytes are
// there; the missing bytes read as zero.
int32_t Field(const uint8_t* block, size_t n, size_t offset) {
    uint32_t v = 0;
    for (size_t k = 0; k < 4; ++k)
        if (offset + k < n) v |= static_cast<uint32_t>(block[offset + k]) << (8 * k);
    return static_cast<int32_t>(v);
}

void CheckRecords(const HighScoreTable& t, const uint8_t* data, size_t size) {
    const size_t used = size < HighScoreTable::kFileBytes ? size : HighScoreTable::kFileBytes;
    for (int i = 0; i < HighScoreTable::kRecords; ++i) {
        const HighScoreRecord& r = t.records[i];
        const size_t begin = static_cast<size_t>(i) * HighScoreTable::kRecordBytes;
        const size_t n = used > begin ? (used - begin < 32 ? used - begin : 32) : 0;
        const uint8_t* b = data + begin;
        FUZZ_CHECK(r.score == Field(b, n, 0));
        for (size_t c = 0; c < 19; ++c) FUZZ_CHECK(r.name[c] == (4 + c < n ? static_cast<char>(b[4 + c]) : 0));
        FUZZ_CHECK(r.name[19] == 0);
        FUZZ_CHECK(r.lengthTotal == Field(b, n, 24));
        FUZZ_CHECK(r.level == Field(b, n, 28));
    }
}

void CheckOrder(const HighScoreTable& t) {
    bool seen[HighScoreTable::kRecords] = {};
    for (int i = 0; i < HighScoreTable::kRecords; ++i) {
        const HighScoreRecord* r = t.order[i];
        FUZZ_CHECK(r >= t.records && r < t.records + HighScoreTable::kRecords);
        FUZZ_CHECK(!seen[r - t.records]);
        seen[r - t.records] = true;
        if (i > 0) FUZZ_CHECK(t.order[i - 1]->score >= r->score);
    }
}

}  // namespace

int FuzzHighScore(const uint8_t* data, size_t size) {
    Game& game = FuzzGame();
    HighScoreTable& table = game.highScoreScreen;
    table.LoadBytes(data, static_cast<int64_t>(size));
    CheckRecords(table, data, size);
    table.Sort();
    CheckOrder(table);

    // The screen, with the knobs from beyond the table.
    const uint8_t* knobs = size > HighScoreTable::kFileBytes ? data + HighScoreTable::kFileBytes : nullptr;
    const size_t knobCount = knobs ? size - HighScoreTable::kFileBytes : 0;
    auto knob = [&](size_t i) -> uint32_t { return i < knobCount ? knobs[i] : 0; };
    Font* fonts[3] = {&game.mediumFont, &game.smallFont, &game.bigFont};
    Font* font = fonts[knob(0) % 3];
    const bool withContinue = (knob(1) & 1) != 0;
    const bool buttonDown = (knob(1) & 2) != 0;
    game.cursor.x = static_cast<int32_t>((knob(2) | (knob(3) << 8)) % 640);
    game.cursor.y = static_cast<int32_t>((knob(4) | (knob(5) << 8)) % 480);
    MouseState.rgbButtons[0] = buttonDown ? 0x80 : 0;
    static HighScoreRecord before[HighScoreTable::kRecords];
    std::memcpy(before, table.records, sizeof before);
    const int32_t result = table.Frame(font, withContinue);
    MouseState.rgbButtons[0] = 0;
    FUZZ_CHECK(result == HighScoreTable::None || result == HighScoreTable::Back ||
               (withContinue && result == HighScoreTable::Continue));
    FUZZ_CHECK(buttonDown || result == HighScoreTable::None);
    CheckOrder(table);
    // A click on a difficulty label loads that table from its file instead.
    if (!buttonDown) FUZZ_CHECK(std::memcmp(before, table.records, sizeof before) == 0);

    // Nothing is lost on the way to the file's bytes and back.
    static uint8_t stored[HighScoreTable::kFileBytes];
    table.StoreBytes(stored);
    static HighScoreTable reread;
    reread.LoadBytes(stored, sizeof stored);
    FUZZ_CHECK(std::memcmp(reread.records, table.records, sizeof reread.records) == 0);

    // Insert: the first lowest record gives way, and only to a better score.
    const int32_t score = static_cast<int32_t>(knob(6) | (knob(7) << 8) | (knob(8) << 16) | (knob(9) << 24));
    int lowest = -1;
    int32_t bound = 900000;
    for (int i = 0; i < HighScoreTable::kRecords; ++i)
        if (table.records[i].score < bound) {
            bound = table.records[i].score;
            lowest = i;
        }
    std::memcpy(before, table.records, sizeof before);
    table.Insert(score, "FUZZY NAME 13", 12, 3);
    for (int i = 0; i < HighScoreTable::kRecords; ++i) {
        const bool replaced = i == lowest && score > before[i].score;
        if (!replaced) {
            FUZZ_CHECK(std::memcmp(&before[i], &table.records[i], sizeof before[i]) == 0);
            continue;
        }
        FUZZ_CHECK(table.records[i].score == score && std::strcmp(table.records[i].name, "FUZZY NAME 13") == 0);
        for (size_t c = 13; c < sizeof table.records[i].name; ++c) FUZZ_CHECK(table.records[i].name[c] == 0);
    }
    return 0;
}
