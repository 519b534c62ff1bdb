#pragma once
#include <cstdint>

#include "gfx/Font.h"
#include "platform/WorldLink.h"
#include "screens/HighScoreSheet.h"

// The world table as the high-score screen shows it on its WORLD tab, over
// "hiworld.dat": one row a band, as the table at this machine. The top ten
// fill the bands; when this player's own best lies below them, the last
// bands hold the rows around it instead (a dotted line marks the jump in
// rank), so that the player always sees where they stand. Own rows are
// framed and tagged YOU. While nothing can be shown the panel says why:
// no server set, the answer awaited, the failure, an empty table.
class WorldTableView {
public:
    static constexpr int kRows = 10;  // the background's bands
    enum class Shows : uint8_t { NoServer, Waiting, Failed, Table };

    void Init(Font* medium, Font* small) {
        mediumFont_ = medium;
        smallFont_ = small;
    }
    // What the panel shows; each clears the pick and the notice.
    void ShowNoServer();
    void ShowWaiting(int32_t difficulty);
    void ShowFailed(int32_t difficulty, const char* reason);
    // Lays the table's rows out in the bands (see above).
    void ShowTable(const WorldTable& table);

    // Draws the rows, or the state, over the background already drawn;
    // `pass` times the waiting dots.
    void Draw(int32_t pass) const;
    // The line under the table: the notice when there is one (the fetch of
    // a row's game), else how the table is read. Written into `text`.
    void Hint(char* text, int textSize) const;

    // The band (0 = top) at the point, when it holds a row; else -1.
    int32_t RowAt(int32_t x, int32_t y) const;
    // Moves the pick to the next row above (-1) or below (+1), from the
    // top when there is none; stays at the ends.
    void MovePick(int32_t step);
    // The row in band `i`, or null.
    const WorldRow* Row(int32_t i) const {
        return shows == Shows::Table && i >= 0 && i < rowCount ? &rows[i] : nullptr;
    }
    const WorldRow* Picked() const { return Row(picked); }

    Shows shows = Shows::NoServer;
    int32_t difficulty = 0;
    int64_t entries = 0;
    int32_t rowCount = 0;
    WorldRow rows[kRows];
    // The first band of the rows around this player's own, after a jump in
    // rank; -1 when the ranks run on without one.
    int32_t jumpRow = -1;
    int32_t picked = -1;
    char reason[kWorldReasonBytes] = {};
    // Said instead of the hint while a row's game is fetched, or why it
    // could not be ("" none).
    static constexpr int kNoticeSize = 160;
    char notice[kNoticeSize] = {};

    // Where a row's parts stand, and the mark of this player's own rows.
    static constexpr int32_t kRowLeft = 62, kRowRight = 582;
    static constexpr int32_t kYouX = 552;
    static constexpr uint8_t kOwnColour = 167;   // the fresh rows' cyan
    static constexpr uint8_t kPickColour = 201;  // the table's pick
    static constexpr uint8_t kJumpColour = 204;  // gold dots
    static constexpr int32_t kMessageY = 262;    // the state's first line

private:
    void DrawRow(int32_t band) const;
    void DrawMessage(const char* headline, const char* detail) const;
    Font* mediumFont_ = nullptr;
    Font* smallFont_ = nullptr;
};
