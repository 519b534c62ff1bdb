// Play standing still while the window is in the background, and F12's
// screenshots in the player's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/Input.h"
#include "platform/Screenshot.h"
#include "platform/UserDir.h"
#include "support/GameHarness.h"
#include "tools/runner/RunnerScenario.h"

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
    for (int i = 0; i < 2000; ++i) {
        h.Pass();
        if (i % 500 == 0) {
            ASSERT_TRUE(Shown() == last) << "in the background, pass " << i;
        }
    }
    EXPECT_TRUE(Shown() == last);
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

// A 640 x 480 frame and a palette with every index and colour in use.
struct Frame {
    Frame() : pixels(kScreenWidth * kScreenHeight) {
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * 7 + i / kScreenWidth) & 255);
        for (int i = 0; i < 256; ++i)
            palette[i] = PaletteEntry{static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                      static_cast<uint8_t>((i * 37) & 255), 0};
    }
    std::vector<uint8_t> pixels;
    PaletteEntry palette[256];
};

// The picture in `path` is `pixels` through `palette`.
void ExpectPicture(const std::string& path, const uint8_t* pixels, const PaletteEntry* palette) {
    const runner_test::Picture pic = runner_test::ReadPicture(path);
    ASSERT_TRUE(pic.ok) << path;
    ASSERT_EQ(pic.width, static_cast<png_uint_32>(kScreenWidth));
    ASSERT_EQ(pic.height, static_cast<png_uint_32>(kScreenHeight));
    int wrong = 0;
    for (int i = 0; i < kScreenWidth * kScreenHeight; ++i) {
        const PaletteEntry& e = palette[pixels[i]];
        if (pic.rgb[i * 3] != e.red || pic.rgb[i * 3 + 1] != e.green || pic.rgb[i * 3 + 2] != e.blue) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << path;
}

class ScreenshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(::testing::TempDir()) / ("vc_shots_" + std::to_string(::getpid()));
        fs::remove_all(root_);
    }
    void TearDown() override { fs::remove_all(root_); }
    static std::tm When() {
        std::tm when{};
        when.tm_year = 2026 - 1900;
        when.tm_mon = 11;
        when.tm_mday = 6;
        when.tm_hour = 23;
        when.tm_min = 15;
        when.tm_sec = 2;
        return when;
    }
    fs::path root_;
};

TEST_F(ScreenshotTest, ShotsOfOneSecondGetTheirOwnNamesInTheNewFolderAndAFolderNotMadeIsAReason) {
    const fs::path dir = root_ / "share" / "voidcrawl";  // neither exists yet
    Frame first, second;
    second.pixels.assign(second.pixels.size(), 200);
    const std::tm when = When();
    char path[kMaxUserPath] = "", reason[512] = "";
    {
        ScopedUserDir user(dir.string());
        std::vector<std::string> paths;
        for (const Frame* f : {&first, &second, &first}) {
            ASSERT_TRUE(SaveScreenshot(f->pixels.data(), f->palette, when, path, sizeof path, reason, sizeof reason))
                << reason;
            paths.push_back(path);
        }
        EXPECT_EQ(paths, (std::vector<std::string>{(dir / "voidcrawl-2026-12-06-231502.png").string(),
                                                   (dir / "voidcrawl-2026-12-06-231502-2.png").string(),
                                                   (dir / "voidcrawl-2026-12-06-231502-3.png").string()}));
        ExpectPicture(paths[1], second.pixels.data(), second.palette);
        ExpectPicture(paths[2], first.pixels.data(), first.palette);
        reason[0] = '\0';  // no picture: a reason, not a file
        EXPECT_FALSE(SaveScreenshot(nullptr, first.palette, when, path, sizeof path, reason, sizeof reason));
        EXPECT_STRNE(reason, "");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 3);
    }
    std::ofstream(root_ / "taken") << "a file where the folder should go";
    ScopedUserDir user((root_ / "taken" / "voidcrawl").string());
    EXPECT_FALSE(SaveScreenshot(first.pixels.data(), first.palette, when, path, sizeof path, reason, sizeof reason));
    EXPECT_NE(std::string(reason).find("taken"), std::string::npos) << reason;
    EXPECT_FALSE(TakeScreenshot(first.pixels.data(), first.palette));
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
