// The three font sheets, read back as the game reads them: glyph cells where
// the font geometry puts them, ink only inside each glyph's advance, every
// character the game prints present, only shared colours used.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "BmpFile.h"
#include "Canvas.h"
#include "Generators.h"

namespace {

namespace fs = std::filesystem;

struct FontGeometry {
    const char* file;
    int width, height;
    int cellWidth, cellHeight, defaultTrim, wrapWidth;
    int lastCode;  // codes 32..lastCode lie on the sheet
    std::vector<std::pair<char, int>> trims;

    int Advance(int code) const {
        for (const auto& t : trims)
            if (t.first == code) return cellWidth - t.second;
        return cellWidth - defaultTrim;
    }
    // Where the game copies glyph `code` from.
    void Glyph(int code, int& left, int& top) const {
        int p = (code - 32) * (cellWidth - 1) + 1;
        int row = p / wrapWidth;
        left = p - row * wrapWidth;
        top = row * (cellHeight - 1) + 1;
    }
};

const FontGeometry kBig{"ImpFont22.dat", 640, 200, 34, 33, 13, 627, 145,
                    {{'I', 21}, {'J', 18}, {'W', 1}, {'M', 5}, {'P', 15}, {'E', 17}, {'F', 17}, {'L', 17}}};
const FontGeometry kMedium{"impFont16.dat", 640, 80, 28, 25, 13, 621, 100,
                       {{'W', 5}, {'M', 10}, {'I', 20}, {'J', 18}, {'L', 17}, {'E', 17}, {'1', 18}}};
const FontGeometry kSmall{"impFont8.dat", 640, 30, 15, 15, 9, 630, 121,
                      {{'K', 7}, {'M', 6}, {'W', 5}, {'I', 12}, {'4', 7}}};

// Characters the game's texts, numbers, names and the name cursor use.
const std::string kPrinted = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789:-/&,.()!'?<=*";

class FontSheets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = (fs::temp_directory_path() / ("vc_fonts_" + std::to_string(::getpid()))).string();
        fs::create_directories(dir_ + "/grafik");
        ok_ = MakeFonts(dir_);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    static BmpFile Read(const FontGeometry& f) { return ReadBmpFile(dir_ + "/grafik/" + f.file); }

    // Columns of glyph `code` that hold ink: first and last (-1 if none).
    static std::pair<int, int> InkSpan(const BmpFile& b, const FontGeometry& f, int code) {
        int left, top, first = -1, last = -1;
        f.Glyph(code, left, top);
        for (int x = 0; x < f.cellWidth - 2; ++x)
            for (int y = 0; y < f.cellHeight - 2; ++y)
                if (b.At(left + x, top + y) != 0) {
                    if (first < 0) first = x;
                    last = x;
                    break;
                }
        return {first, last};
    }

    static std::string dir_;
    static bool ok_;
};
std::string FontSheets::dir_;
bool FontSheets::ok_ = false;

const FontGeometry* const kAll[] = {&kBig, &kMedium, &kSmall};

TEST_F(FontSheets, FilesAreEightBitBitmapsOfTheLoadedSizes) {
    ASSERT_TRUE(ok_);
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok) << f->file;
        EXPECT_EQ(b.width, f->width) << f->file;
        EXPECT_EQ(b.height, f->height) << f->file;
        EXPECT_EQ(b.bits, 8) << f->file;
        EXPECT_EQ(b.compression, 0u) << f->file;
        EXPECT_EQ(b.imageSize, static_cast<uint32_t>(f->width * f->height)) << f->file;
        EXPECT_EQ(b.fileSize, b.raw.size()) << f->file;
    }
}

TEST_F(FontSheets, UseOnlyTransparentAndSharedColours) {
    const Palette shared = SharedPalette();
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        for (uint8_t v : b.pixels) ASSERT_TRUE(v == 0 || v >= 128) << f->file << " uses " << int(v);
        for (int i = 128; i < 256; ++i) {
            EXPECT_EQ(b.pal[i][0], shared.entries[i].r) << f->file << " entry " << i;
            EXPECT_EQ(b.pal[i][1], shared.entries[i].g) << f->file << " entry " << i;
            EXPECT_EQ(b.pal[i][2], shared.entries[i].b) << f->file << " entry " << i;
        }
        EXPECT_EQ(b.pal[0][0] + b.pal[0][1] + b.pal[0][2], 0) << f->file;
    }
}

TEST_F(FontSheets, EveryGlyphStaysLeftOfItsAdvance) {
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        for (int code = 32; code <= f->lastCode; ++code) {
            auto [first, last] = InkSpan(b, *f, code);
            if (last < 0) continue;
            EXPECT_LT(last, f->Advance(code)) << f->file << " glyph '" << char(code) << "' reaches column " << last;
        }
    }
}

TEST_F(FontSheets, PrintedCharactersHaveInkAndSpaceIsBlank) {
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        for (char c : kPrinted) EXPECT_GE(InkSpan(b, *f, c).second, 0) << f->file << " lacks '" << c << "'";
        EXPECT_LT(InkSpan(b, *f, ' ').second, 0) << f->file;
    }
}

TEST_F(FontSheets, LowerCaseCodesOnTheSheetRepeatTheCapitals) {
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        for (int code = 'a'; code <= std::min<int>('z', f->lastCode); ++code)
            EXPECT_GE(InkSpan(b, *f, code).second, 0) << f->file << " lacks '" << char(code) << "'";
    }
}

TEST_F(FontSheets, WideAndNarrowLettersFollowTheirAdvances) {
    // W and M get the room their trims give them; I is the narrowest letter.
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        auto width = [&](char c) {
            auto [first, last] = InkSpan(b, *f, c);
            return last - first + 1;
        };
        EXPECT_GT(width('W'), width('A')) << f->file;
        EXPECT_GT(width('M'), width('I')) << f->file;
        EXPECT_LT(width('I'), width('O')) << f->file;
        EXPECT_GE(width('W'), f->Advance('W') / 2) << f->file;
    }
}

TEST_F(FontSheets, InkNeverTouchesTheCellBorders) {
    // The game copies the glyph rectangle only; ink on the shared border lines
    // of the grid would be lost, so it must all lie inside the rectangles.
    for (const FontGeometry* f : kAll) {
        BmpFile b = Read(*f);
        ASSERT_TRUE(b.ok);
        const int pitchX = f->cellWidth - 1, pitchY = f->cellHeight - 1;
        const int perRow = f->wrapWidth / pitchX;
        std::vector<bool> inGlyph(static_cast<size_t>(b.width) * b.height, false);
        for (int code = 32; code <= f->lastCode; ++code) {
            int left, top;
            f->Glyph(code, left, top);
            for (int y = top; y < top + f->cellHeight - 2; ++y)
                for (int x = left; x < left + f->cellWidth - 2; ++x) inGlyph[static_cast<size_t>(y) * b.width + x] = true;
        }
        const uint8_t line = b.At(0, 0);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                if (inGlyph[static_cast<size_t>(y) * b.width + x]) continue;
                uint8_t v = b.At(x, y);
                bool onGrid = (x % pitchX == 0 && x <= perRow * pitchX) || y % pitchY == 0;
                if (onGrid)
                    EXPECT_TRUE(v == 0 || v == line) << f->file << " at " << x << "," << y;
                else
                    EXPECT_EQ(v, 0) << f->file << " at " << x << "," << y;
            }
    }
}

TEST_F(FontSheets, GenerationIsRepeatable) {
    const std::string again = dir_ + "_again";
    fs::create_directories(again + "/grafik");
    ASSERT_TRUE(MakeFonts(again));
    for (const FontGeometry* f : kAll) {
        BmpFile a = Read(*f), b = ReadBmpFile(again + "/grafik/" + f->file);
        EXPECT_EQ(a.raw, b.raw) << f->file;
    }
    fs::remove_all(again);
}

}  // namespace
