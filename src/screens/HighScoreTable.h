#pragma once
#include <cstdint>

#include "gfx/Display.h"
#include "gfx/Font.h"
#include "gfx/ImageLoader.h"
#include "gfx/PaletteFader.h"
#include "gfx/Sprite.h"
#include "io/MouseCursor.h"
#include "io/SoundBank.h"
#include "platform/SaveFile.h"
#include "screens/HighScoreSheet.h"
#include "screens/Screen.h"
#include "screens/WorldTableView.h"
#include "world/Difficulty.h"

// One result in a high-score file: 32 bytes, little-endian.
struct HighScoreRecord {
    int32_t score;  // 0 marks an empty record
    char name[20];  // zero-terminated, the bytes after it zero
    int32_t lengthTotal;
    int32_t level;  // level number reached (index + 1)
};
static_assert(sizeof(HighScoreRecord) == 32);

// The ten best results of one difficulty, its file and its screen.
class HighScoreTable final : public Screen {
public:
    static constexpr int kRecords = 10;
    static constexpr int kRecordBytes = 32;
    static constexpr int kFileBytes = kRecords * kRecordBytes;

    enum Result { None = 0, Continue = 1, Back = 2 };

    // One game's result, for AddResults.
    struct GameResult {
        int32_t score;
        const char* name;
        int32_t lengthTotal;
        int32_t level;
    };

    void Init(MouseCursor* cursor, SoundBank* sounds);
    void Clear();
    // Reads the table from the user folder, or from the data folder while the
    // user folder has none; a missing file gives an empty table. A file that
    // is there but cannot be read gives an empty table too, and false: the
    // player is told once a run (stderr and the message box) and the table
    // is never saved over it (`readFault`).
    bool Load(const char* fileName, int32_t difficulty);
    // Reads a table from bytes already in memory (as Load does from a file).
    void LoadBytes(const uint8_t* data, int64_t size);
    // The kFileBytes bytes a save writes: the ten records in storage order.
    void StoreBytes(uint8_t* data) const;
    // Writes the ten records in storage order into the user folder (created
    // when missing), through the one save helper: a failed save leaves the
    // previous file whole. False with the reason in `result` when given.
    bool Save(const char* fileName, SaveResult* result = nullptr);
    // Puts a result into the table when it beats the lowest entry and marks
    // it as new; the record's index, or -1 when it did not qualify.
    int32_t Insert(int32_t score, const char* name, int32_t lengthTotal, int32_t level);
    // The end of a game: under the folder's save lock the difficulty's table
    // is read afresh (another copy of the game may have saved since it was
    // loaded), the results go in and the table is saved, whether or not a
    // result entered it (a missing file is created), unless the file there
    // could not be read. True when saved (or, over an unreadable file, when
    // no result entered); otherwise false with what the player is to be told
    // in `message`. The table in memory holds the results either way.
    bool AddResults(int32_t difficulty, const GameResult* results, int count, char* message, int messageSize);
    // A replayed game's results on the difficulty's table as it is on disk,
    // nothing saved: a result already there (its own entry) stands out as a
    // fresh one, another goes in as the game would have put it.
    void ShowResults(int32_t difficulty, const GameResult* results, int count);
    // The rows of the game just ended stop standing out (a continue, a new game).
    void ClearFresh();
    void Sort();
    int32_t Frame(Font* font, bool withContinue);
    // The entry whose row (as the last Frame sorted them) holds the point;
    // null off the rows or on an empty one.
    const HighScoreRecord* RowAt(int32_t x, int32_t y) const;
    int32_t RowIndexAt(int32_t x, int32_t y) const;
    // Its picture as it comes on, in `tableFont` (the game sets it).
    void ShowFrame() override { Frame(tableFont, false); }
    // A W or a click held from the screen before switches nothing.
    void Arm() override {
        worldKeyHeld = 1;
        worldClickHeld = 1;
    }
    Font* tableFont = nullptr;
    void FadeOut() override;
    void FadeIn() override;
    void Release();

    static const char* FileName(int32_t difficulty);
    // The line under the table, for the records as they are: how a result
    // gets onto this difficulty's table, and that a row's game can be
    // watched. Written into `text`.
    void Hint(char* text, int textSize) const;
    static constexpr int kHintSize = 160;

    // The hint's font (the small one); no hint without it.
    Font* hintFont = nullptr;
    // Where the hint's text starts: its ink lies between the table's panel
    // and the difficulty bar.
    static constexpr int32_t kHintY = kHighScoreTableBottom + 1 - kSmallFontInkTop;

    Surface background = nullptr;
    PaletteEntry palette[kPaletteSize] = {};
    Surface buttonSurface = nullptr;
    HighScoreRecord records[kRecords] = {};
    HighScoreRecord* order[kRecords] = {};
    int32_t difficulty = 0;
    // Why the last Load could not read the file there (Refused), or Read.
    ReadError readFault;
    // Unreadable tables already reported this run, by difficulty.
    uint8_t reported[kDifficulties] = {};
    // Records entered since the table was last cleared or loaded: their rows
    // are framed and blink (hidden kBlinkOffFrames of every kBlinkFrames).
    uint8_t fresh[kRecords] = {};
    int32_t blinkFrame = 0;
    static constexpr int32_t kBlinkFrames = 60;
    static constexpr int32_t kBlinkOffFrames = 20;
    static constexpr int32_t kFreshLeft = 62;
    static constexpr int32_t kFreshRight = 582;
    static constexpr uint8_t kFreshColour = 167;  // a cyan of the shared upper palette
    // Records whose game can be watched (set by the game, by record), and the
    // row (as sorted) picked by the pointer or the arrow keys, framed thinly
    // in gold; -1 for none.
    uint8_t watchable[kRecords] = {};
    int32_t pickedRow = -1;
    uint32_t loads = 0;  // counts the records' replacements (loads, clears)
    static constexpr uint8_t kPickColour = 201;
    // Moves the pick to the next watchable row above (step -1) or below (+1),
    // from the top when there is no pick; stays when there is none further.
    void MovePick(int32_t step);
    // The record of the picked row when its game can be watched, else null.
    const HighScoreRecord* Picked() const;
    Sprite labels[kDifficulties];
    // ---- the WORLD tab ----------------------------------------------------
    // The world table of the difficulty picked on the bar, from `world`
    // (the host's link; null where there is none, and then there is no
    // WORLD on the bar): WORLD switches between it and this machine's
    // tables, W too. The game fetches a row's game.
    Surface worldBackground = nullptr;
    Sprite worldLabel;
    WorldLink* world = nullptr;
    WorldTableView worldView;
    bool worldShown = false;
    // Shows the world table of `d` (asking the link for it), or this
    // machine's tables again.
    void ShowWorld(int32_t d);
    void ShowLocal() { worldShown = false; }
    // Looks for the link's answer once a pass (Frame does, while shown).
    void PollWorld();
    // The world rank of the game just ended (or its refusal), said instead
    // of the hint under this machine's table ("" none); the game sets it.
    static constexpr int kWorldLineSize = kHintSize;
    char worldLine[kWorldLineSize] = {};
    // A box the game draws over the table (a question): the table then
    // answers no click or key and leaves the pointer to be drawn over the box.
    bool boxOver = false;
    Sprite continueButton;
    Sprite backButton;
    uint8_t worldClickHeld = 0;
    uint8_t worldKeyHeld = 0;
    int32_t worldPass = 0;
    MouseCursor* cursor = nullptr;
    SoundBank* sounds = nullptr;
    PaletteFader fader;
    ImageLoader loader;

    HighScoreTable() { Clear(); }

private:
    void BarFrame(bool down);
    void DrawRows(Font* font);
    WorldTable worldTable_;
};
