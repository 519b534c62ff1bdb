// The front-end pictures, read back as the screens read them: sizes, the palettes each screen family
// shares, the sprite cells the screens cut, and the places the screens draw over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "BmpFile.h"
#include "Canvas.h"
#include "Generators.h"

namespace {

namespace fs = std::filesystem;

const std::tuple<const char*, int, int> kFiles[] = {
    {"mousehi.dat", 32, 25},   {"menyinv.dat", 800, 600}, {"hiscore.dat", 640, 480},     {"hibutt.dat", 440, 130},
    {"bgInfo2.dat", 640, 480}, {"BallAnim.dat", 480, 66}, {"EnterNameBG.dat", 640, 480}, {"input.dat", 640, 103},
    {"FirAnim.dat", 2592, 82}, {"SecAnim.dat", 2592, 82}};

// A sprite as the screens set it up: source corner, size, and the frames the screens show.
struct Cut {
    const char* file;
    int srcX, srcY, w, h, frames;
    const char* what;
};
const Cut kCuts[] = {{"mousehi.dat", 0, 0, 32, 25, 1, "pointer"},
                     {"menyinv.dat", 0, 0, 191, 61, 2, "one player"},
                     {"menyinv.dat", 0, 61, 196, 62, 2, "two players"},
                     {"menyinv.dat", 0, 123, 246, 91, 2, "high scores"},
                     {"menyinv.dat", 0, 215, 96, 60, 2, "info"},
                     {"menyinv.dat", 0, 276, 101, 65, 2, "quit"},
                     {"menyinv.dat", 1, 436, 403, 116, 1, "title"},
                     {"menyinv.dat", 523, 86, 44, 22, 2, "easy"},
                     {"menyinv.dat", 523, 113, 78, 21, 2, "medium"},
                     {"menyinv.dat", 523, 141, 47, 20, 2, "hard"},
                     {"menyinv.dat", 700, 100, 16, 16, 2, "hum switch"},
                     {"menyinv.dat", 523, 0, 131, 25, 2, "credit button 0"},
                     {"menyinv.dat", 523, 30, 138, 20, 2, "credit button 1"},
                     {"menyinv.dat", 522, 59, 135, 22, 2, "credit button 2"},
                     {"menyinv.dat", 474, 387, 158, 106, 1, "credit picture 0"},
                     {"menyinv.dat", 474, 497, 159, 101, 1, "credit picture 1"},
                     {"menyinv.dat", 637, 497, 159, 100, 1, "credit picture 2"},
                     {"hibutt.dat", 0, 0, 46, 23, 2, "easy label"},
                     {"hibutt.dat", 0, 29, 80, 23, 2, "medium label"},
                     {"hibutt.dat", 0, 57, 48, 23, 2, "hard label"},
                     {"hibutt.dat", 165, 0, 125, 126, 1, "continue"},
                     {"hibutt.dat", 300, 0, 125, 126, 1, "back"},
                     {"BallAnim.dat", 0, 0, 65, 65, 3, "ball"},
                     {"BallAnim.dat", 262, 0, 65, 65, 1, "hover 1"},
                     {"BallAnim.dat", 327, 0, 65, 65, 1, "hover 2"},
                     {"input.dat", 0, 0, 480, 103, 1, "input panel"},
                     {"input.dat", 484, 0, 22, 16, 2, "plus sign"},
                     {"input.dat", 484, 19, 42, 17, 2, "left arrow"},
                     {"input.dat", 484, 36, 42, 17, 2, "right arrow"},
                     {"input.dat", 484, 54, 62, 44, 2, "OK"},
                     {"FirAnim.dat", 0, 0, 161, 80, 16, "ship 0"},
                     {"SecAnim.dat", 0, 0, 161, 80, 16, "ship 1"}};

class FrontEndPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = (fs::temp_directory_path() / ("vc_frontend_" + std::to_string(::getpid()))).string();
        fs::create_directories(dir_ + "/grafik");
        ok_ = MakeFrontEnd(dir_);
        for (auto [name, w, h] : kFiles) files_[name] = ReadBmpFile(dir_ + "/grafik/" + name);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    // Pixel (x, y) of frame k of a cut: frames sit one pixel inside their cells.
    static uint8_t At(const Cut& c, int k, int x, int y) {
        return files_[c.file].At(c.srcX + k * c.w + 1 + x, c.srcY + 1 + y);
    }
    static int Ink(const Cut& c, int k) {
        int n = 0;
        for (int i = 0; i < (c.w - 1) * (c.h - 1); ++i) n += At(c, k, i % (c.w - 1), i / (c.w - 1)) != 0;
        return n;
    }
    static bool SameFrames(const Cut& c, int k, const Cut& d, int j) {
        for (int i = 0; i < (c.w - 1) * (c.h - 1); ++i)
            if (At(c, k, i % (c.w - 1), i / (c.w - 1)) != At(d, j, i % (c.w - 1), i / (c.w - 1))) return false;
        return true;
    }
    static inline std::string dir_;
    static inline bool ok_ = false;
    static inline std::map<std::string, BmpFile> files_;
};

TEST_F(FrontEndPictures, EveryFileHasItsSizeTheSharedUpperHalfAndItsFamilysPalette) {
    ASSERT_TRUE(ok_);
    const Palette shared = SharedPalette();
    for (auto [name, w, h] : kFiles) {
        const BmpFile& b = files_[name];
        EXPECT_EQ((std::tuple{b.ok, b.width, b.height, b.bits}), (std::tuple{true, w, h, 8})) << name;
        EXPECT_TRUE(b.SamePalette(shared, 128, 255) && b.pal[0][0] + b.pal[0][1] + b.pal[0][2] == 0) << name;
    }
    EXPECT_TRUE(files_["hiscore.dat"].SamePalette(files_["hibutt.dat"], 0, 255));
    EXPECT_TRUE(files_["bgInfo2.dat"].SamePalette(files_["BallAnim.dat"], 0, 255));
    for (const char* f : {"EnterNameBG.dat", "input.dat", "FirAnim.dat"})
        EXPECT_TRUE(files_["SecAnim.dat"].SamePalette(files_[f], 0, 255)) << f;
    int previous = 1000;  // the menu's star colours: visible greys, nearer stars brighter
    for (int i : {255, 219, 106, 72, 32}) {
        const int r = files_["menyinv.dat"].pal[i][0], g = files_["menyinv.dat"].pal[i][1],
                  b = files_["menyinv.dat"].pal[i][2];
        EXPECT_EQ(
            (std::tuple{std::max(std::abs(r - g), std::abs(g - b)) <= 16, r + g + b >= 3 * 45, r + g + b < previous}),
            (std::tuple{true, true, true}))
            << i;
        previous = r + g + b;
    }
}

TEST_F(FrontEndPictures, EverySpriteCellHoldsAPictureAndHighlightsDiffer) {
    for (const Cut& c : kCuts) {
        for (int k = 0; k < c.frames; ++k) EXPECT_GT(Ink(c, k), (c.w - 1) * (c.h - 1) / 50) << c.what << " frame " << k;
        for (int k = 0; c.frames < 16 && k + 1 < c.frames; ++k) EXPECT_FALSE(SameFrames(c, k, c, k + 1)) << c.what;
    }
    for (int i = 1; i <= 13; ++i)  // menu items and labels are cut out: their corners are clear
        for (int k = 0; k < kCuts[i].frames; ++k)
            EXPECT_EQ(At(kCuts[i], k, 0, 0) + At(kCuts[i], k, kCuts[i].w - 2, kCuts[i].h - 2), 0) << kCuts[i].what;
    for (int i = 14; i <= 16; ++i)  // credit pictures are framed rectangles with rounded corners
        EXPECT_GT(Ink(kCuts[i], 0), (kCuts[i].w - 1) * (kCuts[i].h - 1) - 40) << kCuts[i].what;
    // the pointer's tip is at its hot spot in the top-left corner; the far corners are clear; shared colours only
    const Cut& pointer = kCuts[0];
    bool tip = false;
    for (int i = 0; i < 9; ++i) tip = tip || At(pointer, 0, i % 3, i / 3) != 0;
    EXPECT_TRUE(tip);
    EXPECT_EQ(At(pointer, 0, 29, 22) + At(pointer, 0, 29, 0), 0);
    for (int i = 0; i < 31 * 24; ++i)
        EXPECT_TRUE(At(pointer, 0, i % 31, i / 31) == 0 || At(pointer, 0, i % 31, i / 31) >= 128) << i;
    // the input panel is drawn at (83, 61); the name goes to (138, 111), up to 380 wide and 23 high
    for (int y = 111 - 61; y < 111 - 61 + 23; ++y)
        for (int x = 138 - 83; x < 138 - 83 + 380; ++x)
            ASSERT_NE(At(kCuts[25], 0, x, y), 0) << "hole in the name field at " << x << "," << y;
}

TEST_F(FrontEndPictures, DifficultyWordsShareOneLetterHeightOnTheMenuAndTheTable) {
    // EASY, MEDIUM and HARD are capitals only: the inked rows of a plain label are its letters' height
    std::map<int, std::string> heights;
    for (int i : {7, 8, 9, 17, 18, 19}) {
        const Cut& c = kCuts[i];
        int top = c.h, bottom = -1;
        for (int y = 0; y < c.h - 1; ++y)
            for (int x = 0; x < c.w - 1; ++x)
                if (At(c, 0, x, y) != 0) top = std::min(top, y), bottom = std::max(bottom, y);
        heights[bottom - top + 1] += std::string(c.what) + " ";
    }
    EXPECT_EQ(heights.size(), 1u) << ::testing::PrintToString(heights);
}

TEST_F(FrontEndPictures, TheStatsPanelSetsItsThreeNumberColumnsApartAndCaptionsThem) {
    // The screens write a row's value at x 468, its limit at 495 and its cost at 518, rows from y 189.
    const BmpFile& bg = files_["EnterNameBG.dat"];
    auto mean = [&](int left, int right, int top, int bottom) {
        std::array<double, 3> sum{};
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                for (int i = 0; i < 3; ++i) sum[i] += bg.pal[bg.At(x, y)][i];
        for (double& v : sum) v /= (right - left) * (bottom - top);
        return sum;
    };
    const int columns[3][2] = {{468, 492}, {496, 515}, {519, 543}};
    for (int k = 0; k < 3; ++k) {
        int lit = 0;  // a caption in the strip above the first row, below the panel's frame
        for (int y = 182; y < 188; ++y)
            for (int x = columns[k][0]; x < columns[k][1]; ++x) {
                const uint8_t* c = bg.pal[bg.At(x, y)];
                lit += 0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2] > 110.0;
            }
        EXPECT_GT(lit, 10) << "column " << k;
        if (k == 0) continue;  // and a tint of its own beside its neighbour's, on a plain row
        const auto a = mean(columns[k - 1][0], columns[k - 1][1], 290, 306), b = mean(columns[k][0], columns[k][1], 290, 306);
        EXPECT_GT(std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]), 15.0) << "column " << k;
    }
}

TEST_F(FrontEndPictures, ShipsTurnThroughSixteenViewsAndTheTwoTypesLookDifferent) {
    const Cut &a = kCuts[30], &b = kCuts[31];
    for (int k = 0; k < 16; ++k) {
        EXPECT_FALSE(SameFrames(a, k, a, (k + 1) % 16)) << "ship 0 frame " << k;
        EXPECT_FALSE(SameFrames(b, k, b, (k + 1) % 16)) << "ship 1 frame " << k;
        EXPECT_FALSE(SameFrames(a, k, b, k)) << "frame " << k;
    }
}

TEST_F(FrontEndPictures, GenerationIsRepeatable) {
    const std::string again = dir_ + "_again";
    fs::create_directories(again + "/grafik");
    ASSERT_TRUE(MakeFrontEnd(again));
    for (auto [name, w, h] : kFiles) EXPECT_EQ(files_[name].raw, ReadBmpFile(again + "/grafik/" + name).raw) << name;
    fs::remove_all(again);
}

}  // namespace
