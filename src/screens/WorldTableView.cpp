#include "screens/WorldTableView.h"

#include <cstdio>
#include <cstring>

#include "gfx/Display.h"
#include "platform/Host.h"
#include "screens/FontPanel.h"
#include "world/Difficulty.h"

namespace {

// A rank or a count with its thousands apart: 1,204.
void Grouped(int64_t value, char* text, size_t size) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value < 0 ? 0 : value));
    const size_t n = std::strlen(digits);
    size_t out = 0;
    for (size_t i = 0; i < n && out + 2 < size; ++i) {
        if (i > 0 && (n - i) % 3 == 0) text[out++] = ',';
        text[out++] = digits[i];
    }
    text[out] = '\0';
}

bool SameRow(const WorldRow& a, const WorldRow& b) {
    return a.rank == b.rank && std::strncmp(a.replay, b.replay, sizeof a.replay) == 0;
}

// A frame `thickness` wide round a band.
void FrameBand(int32_t y, uint8_t colour, int32_t thickness) {
    const int32_t l = WorldTableView::kRowLeft, r = WorldTableView::kRowRight;
    FillRect(l, y - 2, r, y - 2 + thickness, backBuffer, colour);
    FillRect(l, y + 25 - thickness, r, y + 25, backBuffer, colour);
    FillRect(l, y - 2, l + thickness, y + 25, backBuffer, colour);
    FillRect(r - thickness, y - 2, r, y + 25, backBuffer, colour);
}

}  // namespace

void WorldTableView::ShowNoServer() {
    shows = Shows::NoServer;
    rowCount = 0;
    picked = -1;
    notice[0] = '\0';
}

void WorldTableView::ShowWaiting(int32_t d) {
    shows = Shows::Waiting;
    difficulty = ClampDifficulty(d);
    rowCount = 0;
    picked = -1;
    notice[0] = '\0';
}

void WorldTableView::ShowFailed(int32_t d, const char* why) {
    shows = Shows::Failed;
    difficulty = ClampDifficulty(d);
    rowCount = 0;
    picked = -1;
    notice[0] = '\0';
    std::snprintf(reason, sizeof reason, "%s", why != nullptr ? why : "");
}

void WorldTableView::ShowTable(const WorldTable& table) {
    shows = Shows::Table;
    difficulty = ClampDifficulty(table.difficulty);
    entries = table.entries;
    picked = -1;
    notice[0] = '\0';
    jumpRow = -1;
    const int topCount = table.topCount < 0 ? 0 : (table.topCount > kWorldTopRows ? kWorldTopRows : table.topCount);
    const int aroundCount =
        table.aroundCount < 0 ? 0 : (table.aroundCount > kWorldAroundRows ? kWorldAroundRows : table.aroundCount);
    // The rows around this player's own that the top ten do not hold.
    int beyond = 0;
    const WorldRow* extra[kWorldAroundRows] = {};
    for (int a = 0; a < aroundCount; ++a) {
        bool inTop = false;
        for (int t = 0; t < topCount && !inTop; ++t) inTop = SameRow(table.around[a], table.top[t]);
        if (!inTop) extra[beyond++] = &table.around[a];
    }
    // Every top row when they all fit, else as many as leave room for them.
    int keepTop = topCount;
    if (topCount + beyond > kRows) keepTop = kRows - beyond;
    rowCount = 0;
    for (int t = 0; t < keepTop; ++t) rows[rowCount++] = table.top[t];
    for (int b = 0; b < beyond && rowCount < kRows; ++b) {
        if (rowCount > 0 && extra[b]->rank <= rows[rowCount - 1].rank) continue;  // (a bad answer's order)
        if (rowCount > 0 && jumpRow < 0 && extra[b]->rank > rows[rowCount - 1].rank + 1) jumpRow = rowCount;
        rows[rowCount++] = *extra[b];
    }
    for (int i = 0; i < rowCount; ++i) rows[i].name[sizeof rows[i].name - 1] = '\0';
}

void WorldTableView::DrawRow(int32_t band) const {
    const WorldRow& r = rows[band];
    const int32_t y = kHighScoreFirstRowY + band * kHighScoreRowHeight;
    if (r.own) FrameBand(y, kOwnColour, 2);
    if (band == picked) FrameBand(y, kPickColour, 1);
    char text[24];
    Grouped(r.rank, text, sizeof text);
    std::strncat(text, ".", sizeof text - std::strlen(text) - 1);
    // The rank's dot ends at the column's edge; a rank the medium font has
    // no room for is written small.
    const int32_t wide = mediumFont_->TextWidth(text);
    if (kWorldRankRight - wide >= kRowLeft + 4)
        mediumFont_->DrawText(backBuffer, kWorldRankRight - wide, y, text, TextExtent::Whole);
    else
        smallFont_->DrawText(backBuffer, kWorldRankRight - smallFont_->TextWidth(text), y + 6, text, TextExtent::Whole);
    mediumFont_->DrawNumber(backBuffer, kWorldScoreX, y, r.score);
    DrawPanelCaps(*mediumFont_, kWorldNameX, y, r.name, kWorldLengthX - kWorldNameX - 6);
    mediumFont_->DrawNumber(backBuffer, kWorldLengthX, y, r.length);
    mediumFont_->DrawNumber(backBuffer, kWorldLevelX, y, r.level);
    if (r.own) DrawPanelCaps(*smallFont_, kYouX, y + 6, "YOU", kRowRight - kYouX);
}

void WorldTableView::DrawMessage(const char* headline, const char* detail) const {
    const int32_t width = PanelTextWidth(*mediumFont_, headline);
    DrawPanelCaps(*mediumFont_, (kScreenWidth - width) / 2, kMessageY, headline, kRowRight - kRowLeft);
    if (detail == nullptr || detail[0] == '\0') return;
    // The detail in small print, a line or two, centred under it.
    const int32_t room = kRowRight - kRowLeft - 40;
    const int32_t detailWidth = PanelTextWidth(*smallFont_, detail);
    if (detailWidth <= room)
        DrawPanelCaps(*smallFont_, (kScreenWidth - detailWidth) / 2, kMessageY + 34, detail, room);
    else
        DrawPanelParagraph(*smallFont_, kRowLeft + 20, kMessageY + 34, room, 14, detail);
}

void WorldTableView::Draw(int32_t pass) const {
    char line[kWorldReasonBytes + 64];
    switch (shows) {
    case Shows::NoServer:
        DrawMessage("NO WORLD TABLE IS SET",
                    "OPTIONS - ONLINE: TYPE THE WORLD TABLE'S ADDRESS, AND TURN SENDING ON TO JOIN IT");
        return;
    case Shows::Waiting: {
        const int dots = (pass / 25) % 4;
        std::snprintf(line, sizeof line, "ASKING THE WORLD TABLE%.*s", dots, "...");
        // Centred on the whole text, so that the dots do not move it.
        const int32_t width = PanelTextWidth(*mediumFont_, "ASKING THE WORLD TABLE...");
        DrawPanelCaps(*mediumFont_, (kScreenWidth - width) / 2, kMessageY, line, kRowRight - kRowLeft);
        std::snprintf(line, sizeof line, "THE BEST GAMES ON %s", kDifficultyNames[difficulty]);
        const int32_t detail = PanelTextWidth(*smallFont_, line);
        DrawPanelCaps(*smallFont_, (kScreenWidth - detail) / 2, kMessageY + 34, line, kRowRight - kRowLeft);
        return;
    }
    case Shows::Failed:
        DrawMessage("THE WORLD TABLE CANNOT BE SHOWN", reason);
        return;
    case Shows::Table:
        break;
    }
    if (rowCount == 0) {
        std::snprintf(line, sizeof line, "BE THE FIRST: FINISH A GAME ON %s WITH SENDING ON (OPTIONS - ONLINE)",
                      kDifficultyNames[difficulty]);
        DrawMessage("NO GAMES ON THIS TABLE YET", line);
        return;
    }
    for (int32_t band = 0; band < rowCount; ++band) DrawRow(band);
    if (jumpRow > 0) {
        // Dots across the seam between the top rows and this player's own.
        const int32_t y = kHighScoreFirstRowY + jumpRow * kHighScoreRowHeight - 2;
        for (int32_t x = kRowLeft + 4; x < kRowRight - 4; x += 6) FillRect(x, y, x + 2, y + 2, backBuffer, kJumpColour);
    }
}

void WorldTableView::Hint(char* text, int textSize) const {
    const size_t size = static_cast<size_t>(textSize);
    if (notice[0] != '\0') {
        std::snprintf(text, size, "%s", notice);
        return;
    }
    const char* name = kDifficultyNames[difficulty];
    if (shows != Shows::Table || rowCount == 0) {
        std::snprintf(text, size, "THE WORLD TABLE: EVERY PLAYER'S BEST GAMES, EACH ONE REPLAYED TO PROVE IT");
        return;
    }
    char count[24];
    Grouped(entries, count, sizeof count);
    std::snprintf(text, size, "%s GAMES ON %s - CLICK A ROW TO WATCH ITS GAME - WORLD AGAIN FOR YOURS", count, name);
}

int32_t WorldTableView::RowAt(int32_t x, int32_t y) const {
    if (shows != Shows::Table || x < kRowLeft || x >= kRowRight || y < kHighScoreFirstRowY) return -1;
    const int32_t band = (y - kHighScoreFirstRowY) / kHighScoreRowHeight;
    return band < rowCount ? band : -1;
}

void WorldTableView::MovePick(int32_t step) {
    if (shows != Shows::Table || rowCount == 0) return;
    const int32_t next = picked < 0 ? (step > 0 ? 0 : rowCount - 1) : picked + step;
    if (next >= 0 && next < rowCount) picked = next;
}
