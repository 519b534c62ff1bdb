// Play standing still while the window is in the background, and F12's
// screenshots in the player's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gfx/PngWriter.h"
#include "gfx/Screenshot.h"
#include "io/Input.h"
#include "platform/SaveFile.h"
#include "platform/UserDir.h"
#include "support/Files.h"
#include "support/GameHarness.h"

namespace {

namespace fs = std::filesystem;

class FocusTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(h.Start()); }
    Match& match() { return h.game->match; }
    std::vector<uint8_t> Shown() const {
        const uint8_t* p = h.host.LastPixels();
        return p ? std::vector<uint8_t>(p, p + kScreenWidth * kScreenHeight) : std::vector<uint8_t>{};
    }
    // A one-player game on the timer level, the worm started with SPACE:
    // its clock is running.
    void StartTimerLevel() {
        h.BeginMatch(1, 1);
        ASSERT_TRUE(h.PlayLevel(Match::kTimerLevel));
    }
    std::pair<int, int> Head() { return {match().worms[0].segments[1].cellX, match().worms[0].segments[1].cellY}; }

    GameHarness h;
};

TEST_F(FocusTest, PlayStandsStillWithoutTheKeyboardAndGoesOnWithoutABox) {
    StartTimerLevel();
    h.Passes(1000);  // ten seconds of the forty
    const std::vector<uint8_t> last = Shown();
    const auto head = Head();
    h.host.SetFocused(false);
    const int64_t again = h.host.PresentAgainCount();
    for (int i = 0; i < 2000; ++i) {
        h.Pass();
        if (i % 500 == 0) {
            ASSERT_TRUE(Shown() == last) << "in the background, pass " << i;
        }
    }
    EXPECT_TRUE(Shown() == last);
    EXPECT_GE(h.host.PresentAgainCount() - again, 1997) << "a still picture is shown again, not drawn again";
    EXPECT_EQ(Head(), head) << "the worm moved while the window was in the background";
    EXPECT_FALSE(h.game->exitBoxShown);

    h.host.SetFocused(true);
    h.Passes(100);
    EXPECT_FALSE(h.game->exitBoxShown) << "coming back asks nothing";
    EXPECT_EQ(h.game->state, GameState::Playing);
    EXPECT_FALSE(Shown() == last) << "play goes on once the window is back";
    int frames = 100;
    while (!match().timerExpired && frames < 5000) {
        h.Pass();
        ++frames;
    }
    EXPECT_NEAR(frames, 3000, 2) << "thirty seconds of the clock were left";
}

TEST_F(FocusTest, EscHeldFreezesThenTheBoxShowsAndStaysWhileNoPassRedrawsItNorTheClockRuns) {
    StartTimerLevel();
    h.Passes(300);
    const std::vector<uint8_t> playing = Shown();
    h.host.SetKey(DIK_ESCAPE, true);
    h.Passes(50);  // held: frozen, no box yet, long enough to be still
    EXPECT_TRUE(Shown() == playing);
    h.host.SetKey(DIK_ESCAPE, false);
    h.Pass();
    const std::vector<uint8_t> box = Shown();
    ASSERT_FALSE(box == playing) << "the EXIT box shows once Esc is let go";
    const int64_t again = h.host.PresentAgainCount();
    for (int i = 0; i < 200; ++i) {
        h.Pass();
        ASSERT_TRUE(Shown() == box) << "pass " << i << " of the box";
    }
    EXPECT_GE(h.host.PresentAgainCount() - again, 198);
    h.Tap(DIK_N);
    EXPECT_FALSE(h.game->exitBoxShown);
    int frames = 0;  // the clock stood still through Esc and the box
    for (; !match().timerExpired && frames < 5000; ++frames) {
        h.Pass();
        if (frames == 50) {
            EXPECT_FALSE(Shown() == box) << "play goes on without the box";
        }
    }
    EXPECT_NEAR(frames, 3700, 2) << "thirty-seven seconds of the clock were left";
}

TEST(Screenshot, ShotsOfOneSecondGetTheirOwnNamesInTheNewFolderAndAFolderNotMadeIsAReason) {
    TempDir scratch;
    const fs::path dir = scratch.path() / "share" / "voidcrawl";  // neither exists yet
    const std::vector<uint8_t> first(kScreenWidth * kScreenHeight, 7), second(first.size(), 200);
    PaletteEntry palette[256] = {};
    palette[200] = PaletteEntry{255, 128, 0, 0};
    std::tm when{};
    when.tm_year = 2026 - 1900, when.tm_mon = 11, when.tm_mday = 6, when.tm_hour = 23, when.tm_min = 15,
    when.tm_sec = 2;
    char path[kMaxUserPath] = "", reason[kSaveReasonSize] = "";
    std::vector<std::string> paths;
    for (const std::vector<uint8_t>* pixels : {&first, &second, &first}) {
        ASSERT_TRUE(
            SaveScreenshot(pixels->data(), palette, when, dir.c_str(), path, sizeof path, reason, sizeof reason))
            << reason;
        paths.push_back(path);
    }
    reason[0] = '\0';  // no picture: a reason, not a file
    EXPECT_FALSE(SaveScreenshot(nullptr, palette, when, dir.c_str(), path, sizeof path, reason, sizeof reason));
    EXPECT_STRNE(reason, "");
    EXPECT_EQ(paths, (std::vector<std::string>{(dir / "voidcrawl-2026-12-06-231502.png").string(),
                                               (dir / "voidcrawl-2026-12-06-231502-2.png").string(),
                                               (dir / "voidcrawl-2026-12-06-231502-3.png").string()}));
    // Every shot is a file of its own: none was written over another.
    EXPECT_TRUE(ReadAll(paths[0]) == ReadAll(paths[2]) && ReadAll(paths[0]) != ReadAll(paths[1]));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 3);
    // The player is told either way: where the shot went, or why it did not
    // (here a file stands where the folder should go, and is named).
    std::ofstream(scratch.path() / "taken") << "a file where the folder should go";
    char notice[kSaveReasonSize] = "";
    {
        EnvScope pictures("XDG_PICTURES_DIR", (scratch.path() / "taken").c_str());
        EXPECT_FALSE(TakeScreenshot(first.data(), palette, notice, sizeof notice));
        EXPECT_EQ(std::string(notice).rfind("Screenshot NOT saved: ", 0), 0u) << notice;
        EXPECT_NE(std::string(notice).find("taken"), std::string::npos) << notice;
    }
    EnvScope pictures("XDG_PICTURES_DIR", (scratch.path() / "pics").c_str());
    EXPECT_TRUE(TakeScreenshot(first.data(), palette, notice, sizeof notice)) << notice;
    EXPECT_NE(std::string(notice).find("Screenshot saved to " + (scratch.path() / "pics" / "VoidCrawl").string()),
              std::string::npos)
        << notice;
    std::string why;  // a picture file that cannot be made says where
    EXPECT_FALSE(WritePalettedPng((dir / "none" / "x.png").string(), first.data(), 640, 480, palette, &why));
    EXPECT_NE(why.find("none"), std::string::npos) << why;
}

// The '1' key dumps the screen into the player's folder, made with its
// parents; a folder that cannot be made is said once, however long the key
// is held, and the game goes on.
TEST_F(FocusTest, TheDumpKeyWritesIntoTheUserFolderAndAFailureIsSaidOnce) {
    const fs::path dir = fs::path(h.dir()) / "user" / "nested";
    {
        ScopedUserDir user(dir.string());
        h.Tap(DIK_1);
        EXPECT_EQ(fs::file_size(dir / "ScrDump.raw"), 307200u);
        std::ifstream in(dir / "ScrDump.pal", std::ios::binary);
        const std::string pal(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(std::count(pal.begin(), pal.end(), '\n'), 259);
        EXPECT_EQ(pal.rfind("JASC-PAL\r\n0100\r\n256\r\n", 0), 0u);
    }
    std::ofstream(fs::path(h.dir()) / "blocked") << "a file";
    ScopedUserDir user((fs::path(h.dir()) / "blocked" / "voidcrawl").string());
    testing::internal::CaptureStderr();
    h.host.SetKey(DIK_1, true);
    EXPECT_TRUE(h.Passes(20));
    h.host.SetKey(DIK_1, false);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string line = "the screen dump could not be written";
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line), err.rfind(line)) << err;
    EXPECT_NE(err.find("blocked: Not a directory"), std::string::npos) << err;
}

}  // namespace
