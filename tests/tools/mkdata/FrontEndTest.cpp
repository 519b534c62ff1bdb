// The front-end pictures, read back as the screens read them: sizes, the
// palettes each screen family shares, the sprite cells the screens cut, and
// the places the screens draw over.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "BmpFile.h"
#include "Canvas.h"
#include "Generators.h"

namespace {

namespace fs = std::filesystem;

struct Size {
    const char* file;
    int width, height;
};
const Size kFiles[] = {
    {"mousehi.dat", 32, 25},     {"menyinv.dat", 800, 600}, {"hiscore.dat", 640, 480}, {"hibutt.dat", 440, 130},
    {"bgInfo2.dat", 640, 480},   {"BallAnim.dat", 480, 66}, {"EnterNameBG.dat", 640, 480}, {"input.dat", 640, 103},
    {"FirAnim.dat", 2592, 82},   {"SecAnim.dat", 2592, 82},
};

// A sprite as the screens set it up: source corner, width, height, and the
// frames whose pictures the screens show.
struct Cut {
    const char* file;
    int srcX, srcY, w, h, frames;
    const char* what;
};
const Cut kCuts[] = {
    {"mousehi.dat", 0, 0, 32, 25, 1, "pointer"},
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
    {"SecAnim.dat", 0, 0, 161, 80, 16, "ship 1"},
};

class FrontEndPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = (fs::temp_directory_path() / ("vc_frontend_" + std::to_string(::getpid()))).string();
        fs::create_directories(dir_ + "/grafik");
        ok_ = MakeFrontEnd(dir_);
        for (const Size& s : kFiles) files_[s.file] = ReadBmpFile(dir_ + "/grafik/" + s.file);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static const BmpFile& File(const std::string& name) { return files_[name]; }

    // Opaque pixels of frame k of a cut.
    static int Ink(const Cut& c, int k) {
        const BmpFile& b = File(c.file);
        int n = 0;
        for (int y = 0; y < c.h - 1; ++y)
            for (int x = 0; x < c.w - 1; ++x) n += b.At(c.srcX + k * c.w + 1 + x, c.srcY + 1 + y) != 0;
        return n;
    }
    static bool SameFrames(const Cut& c, int k, const Cut& d, int j) {
        const BmpFile& a = File(c.file);
        const BmpFile& b = File(d.file);
        for (int y = 0; y < c.h - 1; ++y)
            for (int x = 0; x < c.w - 1; ++x)
                if (a.At(c.srcX + k * c.w + 1 + x, c.srcY + 1 + y) != b.At(d.srcX + j * d.w + 1 + x, d.srcY + 1 + y))
                    return false;
        return true;
    }

    static std::string dir_;
    static bool ok_;
    static std::map<std::string, BmpFile> files_;
};
std::string FrontEndPictures::dir_;
bool FrontEndPictures::ok_ = false;
std::map<std::string, BmpFile> FrontEndPictures::files_;

TEST_F(FrontEndPictures, EveryFileHasTheSizeItsScreenLoads) {
    ASSERT_TRUE(ok_);
    for (const Size& s : kFiles) {
        const BmpFile& b = File(s.file);
        ASSERT_TRUE(b.ok) << s.file;
        EXPECT_EQ(b.width, s.width) << s.file;
        EXPECT_EQ(b.height, s.height) << s.file;
        EXPECT_EQ(b.bits, 8) << s.file;
        EXPECT_EQ(b.imageSize, static_cast<uint32_t>(s.width * s.height)) << s.file;
    }
}

TEST_F(FrontEndPictures, UpperHalfIsTheSharedOneEverywhere) {
    const Palette shared = SharedPalette();
    for (const Size& s : kFiles) {
        const BmpFile& b = File(s.file);
        ASSERT_TRUE(b.ok) << s.file;
        EXPECT_EQ(b.pal[0][0] + b.pal[0][1] + b.pal[0][2], 0) << s.file;
        for (int i = 128; i < 256; ++i)
            ASSERT_TRUE(b.pal[i][0] == shared.entries[i].r && b.pal[i][1] == shared.entries[i].g &&
                        b.pal[i][2] == shared.entries[i].b)
                << s.file << " entry " << i;
    }
}

TEST_F(FrontEndPictures, ScreenFamiliesShareOnePalette) {
    EXPECT_TRUE(File("hiscore.dat").SamePalette(File("hibutt.dat"), 0, 255));
    EXPECT_TRUE(File("bgInfo2.dat").SamePalette(File("BallAnim.dat"), 0, 255));
    for (const char* f : {"EnterNameBG.dat", "input.dat", "FirAnim.dat"})
        EXPECT_TRUE(File("SecAnim.dat").SamePalette(File(f), 0, 255)) << f;
}

TEST_F(FrontEndPictures, MenuPaletteShowsTheStarGreys) {
    const BmpFile& m = File("menyinv.dat");
    const int bands[] = {255, 219, 106, 72, 32};
    int previous = 1000;
    for (int i : bands) {
        int r = m.pal[i][0], g = m.pal[i][1], b = m.pal[i][2];
        EXPECT_LE(std::abs(r - g), 16) << i;
        EXPECT_LE(std::abs(g - b), 16) << i;
        EXPECT_GE(r + g + b, 3 * 45) << "star colour " << i << " is too dark to see";
        EXPECT_LT(r + g + b, previous) << "nearer stars are brighter";
        previous = r + g + b;
    }
}

TEST_F(FrontEndPictures, PointerUsesSharedColoursWithItsTipAtTheHotSpot) {
    const BmpFile& p = File("mousehi.dat");
    for (int y = 1; y < 25; ++y)
        for (int x = 1; x < 32; ++x) {
            uint8_t v = p.At(x, y);
            EXPECT_TRUE(v == 0 || v >= 128) << x << "," << y;
        }
    // the tip sits in the picture's top-left corner; the far corner is clear
    bool tip = false;
    for (int y = 1; y <= 3; ++y)
        for (int x = 1; x <= 3; ++x) tip = tip || p.At(x, y) != 0;
    EXPECT_TRUE(tip);
    EXPECT_EQ(p.At(30, 23), 0);
    EXPECT_EQ(p.At(30, 1), 0);
}

TEST_F(FrontEndPictures, EverySpriteCellHoldsAPicture) {
    for (const Cut& c : kCuts)
        for (int k = 0; k < c.frames; ++k) {
            const int area = (c.w - 1) * (c.h - 1);
            EXPECT_GT(Ink(c, k), area / 50) << c.what << " frame " << k << " is empty";
        }
}

TEST_F(FrontEndPictures, HighlightFramesDifferFromTheirPlainFrames) {
    for (const Cut& c : kCuts) {
        if (c.frames != 2) continue;
        EXPECT_FALSE(SameFrames(c, 0, c, 1)) << c.what;
    }
    const Cut& ball = kCuts[22];
    EXPECT_FALSE(SameFrames(ball, 0, ball, 1));
    EXPECT_FALSE(SameFrames(ball, 1, ball, 2));
}

TEST_F(FrontEndPictures, MenuPicturesStandOnTheStarFieldAndCreditPicturesAreFramed) {
    // items and labels are cut out: the corners of their pictures are clear
    for (int i = 1; i <= 13; ++i) {
        const Cut& c = kCuts[i];
        const BmpFile& m = File(c.file);
        for (int k = 0; k < c.frames; ++k) {
            int l = c.srcX + k * c.w + 1, t = c.srcY + 1;
            EXPECT_EQ(m.At(l, t), 0) << c.what;
            EXPECT_EQ(m.At(l + c.w - 2, t + c.h - 2), 0) << c.what;
        }
    }
    // the credit pictures are whole framed rectangles (only the rounded
    // corners may be clear)
    for (int i = 14; i <= 16; ++i) {
        const Cut& c = kCuts[i];
        EXPECT_GT(Ink(c, 0), (c.w - 1) * (c.h - 1) - 40) << c.what;
    }
}

TEST_F(FrontEndPictures, TheNameFieldIsSolidWhereTheNameIsWritten) {
    // the panel is drawn keyed at (83, 61); the name goes to (138, 111) and
    // may be up to 380 pixels wide and one medium glyph (23) high
    const BmpFile& in = File("input.dat");
    for (int y = 111 - 61; y < 111 - 61 + 23; ++y)
        for (int x = 138 - 83; x < 138 - 83 + 380; ++x)
            ASSERT_NE(in.At(1 + x, 1 + y), 0) << "hole in the name field at " << x << "," << y;
}

TEST_F(FrontEndPictures, ShipTurnsAndTheTwoTypesLookDifferent) {
    const Cut& a = kCuts[30];
    const Cut& b = kCuts[31];
    for (int k = 0; k < 16; ++k) {
        EXPECT_FALSE(SameFrames(a, k, a, (k + 1) % 16)) << "ship 0 frame " << k;
        EXPECT_FALSE(SameFrames(b, k, b, (k + 1) % 16)) << "ship 1 frame " << k;
        EXPECT_FALSE(SameFrames(a, k, b, k)) << "frame " << k;
    }
    // side views are wider than head-on views
    auto span = [&](const Cut& c, int k) {
        const BmpFile& f = File(c.file);
        int first = 1000, last = -1;
        for (int x = 0; x < c.w - 1; ++x)
            for (int y = 0; y < c.h - 1; ++y)
                if (f.At(c.srcX + k * c.w + 1 + x, 1 + y) != 0) {
                    first = std::min(first, x);
                    last = x;
                    break;
                }
        return last - first;
    };
    EXPECT_GT(span(a, 0), span(a, 4) + 30);
    EXPECT_GT(span(b, 0), span(b, 4) + 20);
}

TEST_F(FrontEndPictures, GenerationIsRepeatable) {
    const std::string again = dir_ + "_again";
    fs::create_directories(again + "/grafik");
    ASSERT_TRUE(MakeFrontEnd(again));
    for (const Size& s : kFiles) EXPECT_EQ(File(s.file).raw, ReadBmpFile(again + "/grafik/" + s.file).raw) << s.file;
    fs::remove_all(again);
}

}  // namespace
