#include "screens/HighScoreTable.h"

#include <cstdio>
#include <cstring>

#include "io/Input.h"
#include "io/SoundSlots.h"
#include "platform/Host.h"
#include "platform/KeyCodes.h"
#include "platform/LittleEndian.h"
#include "platform/UserDir.h"
#include "screens/FontPanel.h"
#include "screens/HighScoreSheet.h"

void HighScoreTable::Init(MouseCursor* c, SoundBank* s) {
    cursor = c;
    sounds = s;
    background = CreateSurface(kScreenWidth, kScreenHeight, SystemMemory);
    loader.LoadSurface("grafik\\hiscore.dat", background, palette);
    buttonSurface = CreateSurface(kHighScoreButtonsWidth, kHighScoreButtonsHeight, SystemMemory);
    loader.LoadSurface("grafik\\hibutt.dat", buttonSurface, nullptr);
    SetSourceColorKey(0, 0, buttonSurface);
    worldBackground = CreateSurface(kScreenWidth, kScreenHeight, SystemMemory);
    loader.LoadSurface("grafik\\hiworld.dat", worldBackground, nullptr);
    for (int k = 0; k < kDifficulties; ++k) labels[k].Init(buttonSurface, kHighScoreLabelCells[k], 1, 0);
    worldLabel.Init(buttonSurface, kHighScoreWorldCell, 1, 0);
    continueButton.Init(buttonSurface, kHighScoreContinueCell, 1, 0);
    backButton.Init(buttonSurface, kHighScoreBackCell, 1, 0);
    difficulty = 0;
}

void HighScoreTable::Clear() {
    std::memset(records, 0, sizeof records);
    std::memset(fresh, 0, sizeof fresh);
    std::memset(watchable, 0, sizeof watchable);
    pickedRow = -1;
    ++loads;
    for (int i = 0; i < kRecords; ++i) order[i] = &records[i];
}

const char* HighScoreTable::FileName(int32_t d) {
    static const char* const kFileNames[kDifficulties] = {"teasy.dat", "tmed.dat", "thard.dat"};
    return kFileNames[ClampDifficulty(d)];
}

void HighScoreTable::LoadBytes(const uint8_t* data, int64_t size) {
    Clear();
    if (!data || size <= 0) return;
    // A longer file keeps only its first ten records; a short last block
    // fills its record byte by byte as far as it goes, the rest staying
    // cleared (zero), so a cut field keeps its low bytes.
    if (size > kFileBytes) size = kFileBytes;
    for (int i = 0; i < kRecords && size > 0; ++i) {
        uint8_t block[kRecordBytes] = {};
        const int64_t n = size < kRecordBytes ? size : kRecordBytes;
        std::memcpy(block, data + i * kRecordBytes, static_cast<size_t>(n));
        records[i].score = ReadLittleEndian<int32_t>(block);
        std::memcpy(records[i].name, block + 4, sizeof records[i].name);
        records[i].lengthTotal = ReadLittleEndian<int32_t>(block + 24);
        records[i].level = ReadLittleEndian<int32_t>(block + 28);
        // A name must end inside its record, whatever the file holds.
        records[i].name[sizeof records[i].name - 1] = 0;
        size -= n;
    }
}

bool HighScoreTable::Load(const char* fileName, int32_t d) {
    Clear();
    difficulty = d;
    // The player's own table; until there is one, the table the data folder
    // may hold from before. A longer file keeps its first ten records.
    uint8_t data[kFileBytes];
    const ReadResult read = ReadUserFile(fileName, data, sizeof data);
    if (read.status == ReadStatus::Read) LoadBytes(data, static_cast<int64_t>(read.size));
    readFault = ReadError();
    if (read.status != ReadStatus::Refused) return true;
    readFault = read;
    const int slot = ClampDifficulty(d);
    if (!reported[slot]) {
        reported[slot] = 1;
        char text[kSaveReasonSize + 256];
        std::snprintf(text, sizeof text,
                      "The high-score table %s cannot be read (%s). It is left as it is, and results of this "
                      "difficulty will not be saved over it.",
                      fileName, read.reason);
        std::fprintf(stderr, "voidcrawl: %s\n", text);
        if (Host* host = GetHost()) host->ShowMessage(text, "Error Message");
    }
    return false;
}

void HighScoreTable::StoreBytes(uint8_t* data) const {
    for (int i = 0; i < kRecords; ++i) {
        uint8_t* p = data + i * kRecordBytes;
        WriteLittleEndian<int32_t>(p, records[i].score);
        std::memcpy(p + 4, records[i].name, 20);
        WriteLittleEndian<int32_t>(p + 24, records[i].lengthTotal);
        WriteLittleEndian<int32_t>(p + 28, records[i].level);
    }
}

bool HighScoreTable::Save(const char* fileName, SaveResult* result) {
    uint8_t data[kFileBytes];
    StoreBytes(data);
    // Always into the user folder, whichever folder the table was read from.
    return SaveUserFile(fileName, data, sizeof data, result);
}

bool HighScoreTable::AddResults(int32_t d, const GameResult* results, int count, char* message, int messageSize) {
    d = ClampDifficulty(d);
    worldShown = false;  // the results go onto this machine's table
    const char* fileName = FileName(d);
    char path[kMaxUserPath];
    const bool named = UserFilePath(fileName, path, sizeof path);
    // From the read to the save no other copy of the game saves here.
    SaveLock lock(named ? path : nullptr);
    Load(fileName, d);
    bool entered = false;
    for (int i = 0; i < count; ++i) {
        if (Insert(results[i].score, results[i].name, results[i].lengthTotal, results[i].level) >= 0) entered = true;
    }
    if (readFault.status != ReadStatus::Read) {
        // Never over a file that could not be read; a result that did not
        // enter it has nothing to tell.
        if (!entered) return true;
        std::snprintf(message, static_cast<size_t>(messageSize),
                      "The high-score table %s could not be read (%s), so your result was not saved. The file is "
                      "left as it is.",
                      fileName, readFault.reason);
        return false;
    }
    SaveResult saved;
    if (Save(fileName, &saved)) return true;
    std::snprintf(message, static_cast<size_t>(messageSize), "The high-score table %s could not be saved (%s). %s",
                  fileName, saved.reason,
                  saved.hadOld ? "The old table is kept." : "Your result is shown but not kept.");
    return false;
}

void HighScoreTable::ShowResults(int32_t d, const GameResult* results, int count) {
    d = ClampDifficulty(d);
    worldShown = false;
    Load(FileName(d), d);
    for (int i = 0; i < count; ++i) {
        const GameResult& g = results[i];
        bool kept = false;
        for (int k = 0; k < kRecords && !kept; ++k) {
            const HighScoreRecord& r = records[k];
            kept = r.score > 0 && r.score == g.score && r.lengthTotal == g.lengthTotal && r.level == g.level &&
                   std::strncmp(r.name, g.name != nullptr ? g.name : "", sizeof r.name - 1) == 0 && !fresh[k];
            if (kept) fresh[k] = 1;
        }
        if (!kept) Insert(g.score, g.name, g.lengthTotal, g.level);
    }
}

void HighScoreTable::ClearFresh() { std::memset(fresh, 0, sizeof fresh); }

int32_t HighScoreTable::Insert(int32_t score, const char* name, int32_t lengthTotal, int32_t level) {
    HighScoreRecord* lowest = nullptr;
    int32_t bound = 900000;
    for (HighScoreRecord& r : records) {
        if (r.score < bound) {
            bound = r.score;
            lowest = &r;
        }
    }
    if (!lowest || score <= lowest->score) return -1;
    std::memset(lowest->name, 0, sizeof lowest->name);
    if (name) {
        // Names hold at most 13 characters; never more than the record has room for.
        size_t n = 0;
        while (n < sizeof lowest->name - 1 && name[n]) ++n;
        std::memcpy(lowest->name, name, n);
    }
    lowest->score = score;
    lowest->lengthTotal = lengthTotal;
    lowest->level = level;
    const int32_t index = static_cast<int32_t>(lowest - records);
    fresh[index] = 1;
    return index;
}

void HighScoreTable::Sort() {
    for (int i = 0; i < kRecords; ++i) order[i] = &records[i];
    for (int i = 0; i < kRecords - 1; ++i)
        for (int j = kRecords - 1; j > i; --j)
            if (order[i]->score < order[j]->score) {
                HighScoreRecord* t = order[i];
                order[i] = order[j];
                order[j] = t;
            }
}

// The bar: a difficulty's label shows its table (this machine's, or the
// world's while WORLD is lit); WORLD, or W, switches between the two.
void HighScoreTable::BarFrame(bool down) {
    // Only where the host has a link to a world table.
    if (world == nullptr) worldShown = false;
    const bool overWorld = world != nullptr && worldLabel.Contains(cursor->x, cursor->y);
    const bool wKey = world != nullptr && KeyState[DIK_W] != 0 && !boxOver;
    const bool switchWorld = (overWorld && down && !worldClickHeld) || (wKey && !worldKeyHeld);
    worldClickHeld = down ? 1 : 0;
    worldKeyHeld = wKey ? 1 : 0;
    for (int k = 0; k < kDifficulties; ++k) {
        if (labels[k].Contains(cursor->x, cursor->y) && down) {
            if (worldShown) {
                if (worldView.difficulty != k || worldView.shows == WorldTableView::Shows::Failed) ShowWorld(k);
            } else {
                Load(FileName(k), k);
            }
            sounds->Play(kSoundClick, SoundLoop::Once);
        }
        const int32_t shownDifficulty = worldShown ? worldView.difficulty : difficulty;
        labels[k].frame = shownDifficulty == k ? 1 : 0;
        labels[k].Draw(kHighScoreLabelX[k], kHighScoreLabelY, backBuffer);
    }
    if (switchWorld) {
        sounds->Play(kSoundClick, SoundLoop::Once);
        if (worldShown)
            ShowLocal();
        else
            ShowWorld(difficulty);
    }
    if (world == nullptr) return;
    worldLabel.frame = worldShown ? 1 : 0;
    worldLabel.Draw(kHighScoreWorldX, kHighScoreLabelY, backBuffer);
}

void HighScoreTable::ShowWorld(int32_t d) {
    worldShown = true;
    d = ClampDifficulty(d);
    if (world == nullptr || !world->Configured()) {
        worldView.difficulty = d;
        worldView.ShowNoServer();
        return;
    }
    world->AskTable(d);
    worldView.ShowWaiting(d);
}

void HighScoreTable::PollWorld() {
    if (world == nullptr || worldView.shows != WorldTableView::Shows::Waiting) return;
    char reason[kWorldReasonBytes] = {};
    const WorldAnswer answer = world->Table(&worldTable_, reason, sizeof reason);
    if (answer == WorldAnswer::Ready && ClampDifficulty(worldTable_.difficulty) == worldView.difficulty)
        worldView.ShowTable(worldTable_);
    else if (answer == WorldAnswer::Failed || answer == WorldAnswer::None)
        worldView.ShowFailed(worldView.difficulty, answer == WorldAnswer::Failed ? reason : "nothing was asked");
}

int32_t HighScoreTable::Frame(Font* font, bool withContinue) {
    int32_t result = None;
    if (worldShown) PollWorld();
    Blit(0, 0, kScreenWidth, kScreenHeight, worldShown ? worldBackground : background, 0, 0, backBuffer,
         BlitKey::Opaque);
    const bool down = cursor->LeftDown() && !boxOver;
    BarFrame(down);
    if (withContinue) {
        continueButton.Draw(516, 1, backBuffer);
        if (continueButton.Contains(cursor->x, cursor->y) && down) {
            sounds->Play(kSoundClick, SoundLoop::Once);
            result = Continue;
        }
    }
    backButton.Draw(5, 1, backBuffer);
    if (backButton.Contains(cursor->x, cursor->y) && down) {
        sounds->Play(kSoundClick, SoundLoop::Once);
        result = Back;
    }
    Sort();
    blinkFrame = blinkFrame + 1 < kBlinkFrames ? blinkFrame + 1 : 0;
    ++worldPass;
    if (worldShown)
        worldView.Draw(worldPass);
    else
        DrawRows(font);
    if (hintFont != nullptr) {
        char hint[kHintSize];
        if (worldShown)
            worldView.Hint(hint, sizeof hint);
        else if (worldLine[0] != '\0')
            std::snprintf(hint, sizeof hint, "%s", worldLine);
        else
            Hint(hint, sizeof hint);
        const int32_t width = PanelTextWidth(*hintFont, hint);
        DrawPanelCaps(*hintFont, width < kScreenWidth ? (kScreenWidth - width) / 2 : 0, kHintY, hint, kScreenWidth);
    }
    if (!boxOver) cursor->Update();
    return result;
}

void HighScoreTable::DrawRows(Font* font) {
    for (int i = 0; i < kRecords; ++i) {
        const HighScoreRecord& r = *order[i];
        if (r.score == 0) continue;
        const int32_t y = kHighScoreFirstRowY + i * font->cellHeight;
        if (i == pickedRow && watchable[order[i] - records] && !fresh[order[i] - records]) {
            // The row whose game Enter or a click would play: a thin frame.
            FillRect(kFreshLeft, y - 2, kFreshRight, y - 1, backBuffer, kPickColour);
            FillRect(kFreshLeft, y + 24, kFreshRight, y + 25, backBuffer, kPickColour);
            FillRect(kFreshLeft, y - 1, kFreshLeft + 1, y + 24, backBuffer, kPickColour);
            FillRect(kFreshRight - 1, y - 1, kFreshRight, y + 24, backBuffer, kPickColour);
        }
        if (fresh[order[i] - records]) {
            // A result entered by the game just ended: a glowing frame
            // round its row, and the row blinking inside it.
            FillRect(kFreshLeft, y - 2, kFreshRight, y, backBuffer, kFreshColour);
            FillRect(kFreshLeft, y + 23, kFreshRight, y + 25, backBuffer, kFreshColour);
            FillRect(kFreshLeft, y, kFreshLeft + 2, y + 23, backBuffer, kFreshColour);
            FillRect(kFreshRight - 2, y, kFreshRight, y + 23, backBuffer, kFreshColour);
            if (blinkFrame >= kBlinkFrames - kBlinkOffFrames) continue;
        }
        font->DrawNumber(backBuffer, kHighScoreScoreX, y, r.score);
        font->DrawText(backBuffer, kHighScoreNameX, y, r.name, TextExtent::Whole);
        font->DrawNumber(backBuffer, kHighScoreLengthX, y, r.lengthTotal);
        font->DrawNumber(backBuffer, kHighScoreLevelX, y, r.level);
    }
}

// (No comma or semicolon: their tails would reach the bar.)
void HighScoreTable::Hint(char* text, int textSize) const {
    const char* name = kDifficultyNames[ClampDifficulty(difficulty)];
    int entries = 0;
    for (const HighScoreRecord& r : records) entries += r.score != 0 ? 1 : 0;
    if (entries == 0)
        std::snprintf(text, static_cast<size_t>(textSize),
                      "NO SCORES YET: PLAY A GAME ON %s TO GET ON - THEN CLICK YOUR ROW TO WATCH IT", name);
    else if (entries < kRecords)
        std::snprintf(text, static_cast<size_t>(textSize),
                      "PLAY A GAME ON %s TO GET ON THE TABLE - CLICK A ROW TO WATCH ITS GAME", name);
    else
        std::snprintf(text, static_cast<size_t>(textSize),
                      "BEAT THE LOWEST SCORE ON %s TO GET ON - CLICK A ROW TO WATCH ITS GAME", name);
}

int32_t HighScoreTable::RowIndexAt(int32_t x, int32_t y) const {
    if (x < kFreshLeft || x >= kFreshRight || y < kHighScoreFirstRowY) return -1;
    const int32_t row = (y - kHighScoreFirstRowY) / kHighScoreRowHeight;
    if (row >= kRecords || order[row] == nullptr || order[row]->score == 0) return -1;
    return row;
}

const HighScoreRecord* HighScoreTable::RowAt(int32_t x, int32_t y) const {
    const int32_t row = RowIndexAt(x, y);
    return row < 0 ? nullptr : order[row];
}

const HighScoreRecord* HighScoreTable::Picked() const {
    if (pickedRow < 0 || pickedRow >= kRecords || order[pickedRow] == nullptr) return nullptr;
    const HighScoreRecord* r = order[pickedRow];
    return r->score > 0 && watchable[r - records] ? r : nullptr;
}

void HighScoreTable::MovePick(int32_t step) {
    for (int32_t row = pickedRow < 0 ? (step > 0 ? 0 : kRecords - 1) : pickedRow + step; row >= 0 && row < kRecords;
         row += step) {
        const HighScoreRecord* r = order[row];
        if (r != nullptr && r->score > 0 && watchable[r - records]) {
            pickedRow = row;
            return;
        }
    }
}

void HighScoreTable::FadeOut() { fader.FadeOut(); }

void HighScoreTable::FadeIn() { fader.FadeIn(palette); }

void HighScoreTable::Release() {
    if (background) ReleaseSurface(background);
    if (buttonSurface) ReleaseSurface(buttonSurface);
    if (worldBackground) ReleaseSurface(worldBackground);
    background = buttonSurface = worldBackground = nullptr;
}
