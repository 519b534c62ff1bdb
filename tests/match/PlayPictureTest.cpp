// The picture of play as the real data set draws it: the arena line's and
// the clock's punctuation where a player reads it, and nothing of play
// (an explosion, the food) drawn over the status bar or under a text.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "io/Input.h"
#include "match/Match.h"
#include "support/GameHarness.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

std::vector<uint8_t> Back() { return std::vector<uint8_t>(backBuffer->pixels, backBuffer->pixels + kWidth * kHeight); }

// The columns of x0..x1 holding any pixel other than 0 in rows y0..y1.
std::vector<bool> InkColumns(int x0, int x1, int y0, int y1) {
    std::vector<bool> ink(static_cast<size_t>(x1 - x0), false);
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y)
            if (backBuffer->pixels[y * kWidth + x] != 0) ink[static_cast<size_t>(x - x0)] = true;
    return ink;
}

// The clear runs between the inked runs of `ink`, left to right.
std::vector<int> Gaps(const std::vector<bool>& ink) {
    std::vector<int> gaps;
    int run = -1;  // -1 until the first ink
    for (bool on : ink) {
        if (on) {
            if (run > 0) gaps.push_back(run);
            run = 0;
        } else if (run >= 0) {
            ++run;
        }
    }
    return gaps;
}

// A text's glyphs alone: its box (the pen's travel by the glyph height)
// and, in it, its pixels (0 where the glyphs leave the picture through).
struct TextPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};
TextPicture DrawAlone(Font& font, const char* text) {
    ClearSurface(backBuffer, 0);
    font.DrawText(backBuffer, 0, 0, text, TextExtent::Whole);
    TextPicture t;
    t.width = font.TextWidth(text);
    t.height = font.cellHeight - 2;
    for (int y = 0; y < t.height; ++y)
        for (int x = 0; x < t.width; ++x) t.pixels.push_back(backBuffer->pixels[y * kWidth + x]);
    return t;
}

class PlayPictureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.Start()); }
    Match& match() { return h.game->match; }
    // Level `index` of a game of `players`, its worms started.
    void Play(int players, int index) {
        h.BeginMatch(players, 0);
        ASSERT_TRUE(h.PlayLevel(index));
    }
    // Where `text` stands whole in the picture `frame` within rows y0..y1:
    // its glyphs' pixels as drawn alone, and the arena's own picture in
    // the rest of its box (nothing of play under it). False when nowhere.
    bool FindClearText(const std::vector<uint8_t>& frame, const TextPicture& t, int y0, int y1, int* atX, int* atY,
                       int fromX = 0) {
        const uint8_t* arena = match().arena.background->pixels;
        for (int y = y0; y + t.height <= y1; ++y)
            for (int x = fromX; x + t.width <= kWidth; ++x) {
                bool same = true;
                for (int ty = 0; ty < t.height && same; ++ty)
                    for (int tx = 0; tx < t.width && same; ++tx) {
                        const int at = (y + ty) * kWidth + x + tx;
                        const uint8_t want = t.pixels[static_cast<size_t>(ty * t.width + tx)];
                        same = frame[static_cast<size_t>(at)] == (want != 0 ? want : arena[at]);
                    }
                if (same) {
                    *atX = x;
                    *atY = y;
                    return true;
                }
            }
        return false;
    }
    GameHarness h;
};

// A colon (or any stop) follows its word about as closely as the word's
// letters follow each other, in both fonts of the arena line and the intro: the
// line reads "COMPLETED AT:17", never "AT :17".
TEST_F(PlayPictureTest, PunctuationSitsAgainstTheLetterBeforeIt) {
    for (Font* font : {match().mediumFont, match().bigFont}) {
        const int rows = font->cellHeight - 2;
        ClearSurface(backBuffer, 0);
        font->DrawText(backBuffer, 0, 0, "COMPLETED", TextExtent::Whole);
        int widest = 0;
        for (int gap : Gaps(InkColumns(0, 300, 0, rows))) widest = gap > widest ? gap : widest;
        ASSERT_GT(widest, 0);
        for (const char* text : {"AT:", "AT;", "AT.", "AT,", "AT!"}) {
            ClearSurface(backBuffer, 0);
            font->DrawText(backBuffer, 0, 0, text, TextExtent::Whole);
            const std::vector<int> gaps = Gaps(InkColumns(0, 120, 0, rows));
            ASSERT_EQ(gaps.size(), 2u) << text;
            EXPECT_LE(gaps[1], widest + 1) << text << " in the font of cell " << font->cellWidth;
        }
    }
}

// The timer level's clock reads 0:35:41: the minute stands against its
// colon as the seconds do against theirs.
TEST_F(PlayPictureTest, TheClockHasNoGapBetweenTheMinuteAndItsColon) {
    Play(1, Match::kTimerLevel);
    for (int32_t left : {3541, 959, 5}) {
        h.host.SetTicks(100000);
        ClearSurface(backBuffer, 0);
        match().DrawLevelClock(250, 1, 100000 - 10 * (4000 - left), 4000);
        const std::vector<int> gaps = Gaps(InkColumns(240, 400, 1, 1 + match().mediumFont->cellHeight - 2));
        ASSERT_GE(gaps.size(), 3u) << left;
        // minute | colon | seconds (one or two figures) ...
        const int afterMinute = gaps[0], afterColon = gaps[1];
        EXPECT_LE(afterMinute, afterColon + 2) << left;
    }
}

// An explosion on the bottom row is cut at the play area's edge: the
// status bar below (its LIVES label, lengths and shields) is the same as
// with the explosion far from it.
TEST_F(PlayPictureTest, AnExplosionNeverReachesTheStatusBar) {
    Play(1, 0);
    std::vector<uint8_t> bars[2];
    const int32_t rows[2] = {kArenaRows - 1, 5};
    for (int k = 0; k < 2; ++k) {
        Worm& w = match().worms[0];
        w.length = 6;
        for (int s = 1; s < 6; ++s) {
            w.segments[s].cellX = 9 + s;
            w.segments[s].cellY = rows[k];
            w.segments[s].animCounter = 3;
        }
        w.alive = 0;
        w.active = 1;
        SeedRandom(7);
        match().Frame();
        ASSERT_TRUE(w.active);  // still exploding
        const std::vector<uint8_t> frame = Back();
        bars[k].assign(frame.begin() + Match::kStatusBarTop * kWidth, frame.end());
    }
    EXPECT_TRUE(bars[0] == bars[1]);
}

// A player waiting to start again: "PRESS SPACE" stands whole above the
// status bar, and food in its box is not drawn under it.
TEST_F(PlayPictureTest, TheWaitingLineStandsWholeAboveTheStatusBarOverThePlay) {
    const TextPicture press = DrawAlone(*match().smallFont, "PRESS SPACE");
    Play(2, 0);
    for (Worm& w : match().worms) {
        w.active = 0;
        w.alive = 0;
    }
    match().Frame();
    // Player 2's line on the left, player 1's on the right.
    int x[2] = {}, y[2] = {};
    const std::vector<uint8_t> frame = Back();
    ASSERT_TRUE(FindClearText(frame, press, kHeight / 2, Match::kStatusBarTop, &x[1], &y[1]));
    ASSERT_TRUE(FindClearText(frame, press, y[1], y[1] + press.height, &x[0], &y[0], x[1] + press.width));
    // Food on the cell under player 1's line does not show through it.
    FoodItem& food = match().food.items[0];
    food.cellX = (x[0] + press.width / 2) / 32;
    food.cellY = kArenaRows - 1;
    food.cellType = CellType::Food;
    match().Frame();
    int fx = 0, fy = 0;
    EXPECT_TRUE(FindClearText(Back(), press, y[0], y[0] + press.height, &fx, &fy, x[0]));
    EXPECT_EQ(fx, x[0]);
}

// The intro's "PRESS SPACE" under its panel has no food under it.
TEST_F(PlayPictureTest, TheIntrosPressSpaceHasNoFoodUnderIt) {
    const TextPicture press = DrawAlone(*match().mediumFont, "PRESS SPACE");
    h.BeginMatch(1, 0);
    std::memset(KeyState, 0, sizeof KeyState);  // no SPACE to close the intro
    match().Frame();
    ASSERT_TRUE(match().IntroPending());
    int x = 0, y = 0;
    ASSERT_TRUE(FindClearText(Back(), press, kHeight / 2, Match::kStatusBarTop, &x, &y));
    // Food on each cell the text touches.
    for (int i = 0; i < 6; ++i) {
        FoodItem& food = match().food.items[i];
        food.cellX = (x + i * press.width / 5) / 32;
        food.cellY = (y + press.height / 2) / 32;
        food.cellType = CellType::Food;
    }
    match().Frame();
    int fx = 0, fy = 0;
    EXPECT_TRUE(FindClearText(Back(), press, y, y + press.height, &fx, &fy));
}

}  // namespace
