// The three font sheets, read back as the game reads them: glyph cells where the font geometry puts them,
// ink only inside each glyph's advance, every character the game prints present, only shared colours used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "BmpFile.h"
#include "Canvas.h"
#include "Generators.h"

namespace {

namespace fs = std::filesystem;

struct FontGeometry {
    const char* file;
    int width, height, cellWidth, cellHeight, defaultTrim, wrapWidth;
    int lastCode;  // codes 32..lastCode lie on the sheet
    std::vector<std::pair<char, int>> trims;

    int Advance(int code) const {
        for (const auto& [c, trim] : trims)
            if (c == code) return cellWidth - trim;
        return cellWidth - defaultTrim;
    }
    // Where the game copies glyph `code` from.
    void Glyph(int code, int& left, int& top) const {
        const int p = (code - 32) * (cellWidth - 1) + 1, row = p / wrapWidth;
        left = p - row * wrapWidth;
        top = row * (cellHeight - 1) + 1;
    }
};

using Trims = std::vector<std::pair<char, int>>;
const Trims kBigTrims = {{'I', 21}, {'J', 18}, {'W', 1}, {'M', 5}, {'P', 15}, {'E', 17}, {'F', 17}, {'L', 17}};
const Trims kMediumTrims = {{'W', 5}, {'M', 10}, {'I', 20}, {'J', 18}, {'L', 17}, {'E', 17}, {'1', 18}};
const Trims kSmallTrims = {{'K', 7}, {'M', 6}, {'W', 5}, {'I', 12}, {'4', 7}};
const FontGeometry kFonts[] = {{"ImpFont22.dat", 640, 200, 34, 33, 13, 627, 145, kBigTrims},
                               {"impFont16.dat", 640, 80, 28, 25, 13, 621, 100, kMediumTrims},
                               {"impFont8.dat", 640, 30, 15, 15, 9, 630, 121, kSmallTrims}};

class FontSheets : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::create_directories(dir_ + "/grafik");
        ok_ = MakeFonts(dir_);
        for (int i = 0; i < 3; ++i) sheets_[i] = ReadBmpFile(dir_ + "/grafik/" + kFonts[i].file);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }
    // Columns of glyph `code` that hold ink: first and last (-1 if none).
    static std::pair<int, int> InkSpan(const BmpFile& b, const FontGeometry& f, int code) {
        int left, top, first = -1, last = -1;
        f.Glyph(code, left, top);
        for (int x = 0; x < f.cellWidth - 2; ++x)
            for (int y = 0; y < f.cellHeight - 2; ++y)
                if (b.At(left + x, top + y) != 0) {
                    first = first < 0 ? x : first, last = x;
                    break;
                }
        return {first, last};
    }
    static inline std::string dir_ = (fs::temp_directory_path() / ("vc_fonts_" + std::to_string(::getpid()))).string();
    static inline bool ok_ = false;
    static inline BmpFile sheets_[3];
};

TEST_F(FontSheets, FilesAreEightBitBitmapsOfTheLoadedSizesInTransparentAndSharedColours) {
    ASSERT_TRUE(ok_);
    const Palette shared = SharedPalette();
    for (int i = 0; i < 3; ++i) {
        const BmpFile& b = sheets_[i];
        EXPECT_EQ((std::tuple{b.ok, b.width, b.height, b.bits, b.compression, b.fileSize}),
                  (std::tuple{true, kFonts[i].width, kFonts[i].height, 8, 0u, uint32_t(b.raw.size())}))
            << kFonts[i].file;
        EXPECT_TRUE(std::all_of(b.pixels.begin(), b.pixels.end(), [](uint8_t v) { return v == 0 || v >= 128; }))
            << kFonts[i].file;
        EXPECT_TRUE(b.SamePalette(shared, 128, 255) && b.pal[0][0] + b.pal[0][1] + b.pal[0][2] == 0) << kFonts[i].file;
    }
}

TEST_F(FontSheets, EveryPrintedCharacterHasInkLeftOfItsAdvance) {
    const std::string printed = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789:-/&,.()!'?<=*";  // texts, numbers, names, cursor
    for (int i = 0; i < 3; ++i) {
        const FontGeometry& f = kFonts[i];
        const BmpFile& b = sheets_[i];
        for (int code = 32; code <= f.lastCode; ++code) {
            const int last = InkSpan(b, f, code).second;
            EXPECT_LT(last, f.Advance(code)) << f.file << " glyph '" << char(code) << "' reaches column " << last;
            const bool needed = printed.find(char(code)) != std::string::npos || (code >= 'a' && code <= 'z');
            if (needed) {
                EXPECT_GE(last, 0) << f.file << " lacks '" << char(code) << "'";
            }
        }
        EXPECT_LT(InkSpan(b, f, ' ').second, 0) << f.file;
    }
}

TEST_F(FontSheets, InkNeverTouchesTheCellBorders) {
    // The game copies the glyph rectangle only: ink on the grid lines would be lost.
    for (int i = 0; i < 3; ++i) {
        const FontGeometry& f = kFonts[i];
        const BmpFile& b = sheets_[i];
        const int pitchX = f.cellWidth - 1, pitchY = f.cellHeight - 1, perRow = f.wrapWidth / pitchX;
        std::vector<bool> inGlyph(size_t(b.width) * b.height, false);
        for (int code = 32; code <= f.lastCode; ++code) {
            int left, top;
            f.Glyph(code, left, top);
            for (int y = top; y < top + f.cellHeight - 2; ++y)
                for (int x = left; x < left + f.cellWidth - 2; ++x) inGlyph[size_t(y) * b.width + x] = true;
        }
        const uint8_t line = b.At(0, 0);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                if (inGlyph[size_t(y) * b.width + x]) continue;
                const uint8_t v = b.At(x, y);
                const bool onGrid = (x % pitchX == 0 && x <= perRow * pitchX) || y % pitchY == 0;
                ASSERT_TRUE(v == 0 || (onGrid && v == line)) << f.file << " at " << x << "," << y;
            }
    }
}

TEST_F(FontSheets, GenerationIsRepeatable) {
    const std::string again = dir_ + "_again";
    fs::create_directories(again + "/grafik");
    ASSERT_TRUE(MakeFonts(again));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(sheets_[i].raw, ReadBmpFile(again + "/grafik/" + kFonts[i].file).raw) << kFonts[i].file;
    fs::remove_all(again);
}

}  // namespace
