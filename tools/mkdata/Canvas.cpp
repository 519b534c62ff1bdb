#include "Canvas.h"

#include <cstdio>
#include <cstring>

Canvas::Canvas(int width, int height, uint8_t fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

uint8_t Canvas::Get(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

void Canvas::Set(int x, int y, uint8_t index) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<size_t>(y) * width_ + x] = index;
}

void Canvas::FillRect(int left, int top, int right, int bottom, uint8_t index) {
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > width_) right = width_;
    if (bottom > height_) bottom = height_;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) pixels_[static_cast<size_t>(y) * width_ + x] = index;
}

void Canvas::Paste(const Canvas& src, int srcLeft, int srcTop, int width, int height, int destX, int destY,
                   bool keyed) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t v = src.Get(srcLeft + x, srcTop + y);
            if (keyed && v == 0) continue;
            Set(destX + x, destY + y, v);
        }
}

static void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(v & 0xFF);
    out.push_back(v >> 8);
}

static void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back((v >> (8 * i)) & 0xFF);
}

bool WriteBmp(const std::string& path, const Canvas& canvas, const Palette& palette) {
    const int w = canvas.Width();
    const int h = canvas.Height();
    const int row = (w + 3) & ~3;  // every width the game uses is a multiple of 4
    const uint32_t imageSize = static_cast<uint32_t>(row) * h;
    const uint32_t offset = 14 + 40 + 1024;
    std::vector<uint8_t> out;
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(w));
    Put32(out, static_cast<uint32_t>(h));
    Put16(out, 1);
    Put16(out, 8);
    Put32(out, 0);
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, 256);
    Put32(out, 0);
    for (const Rgb& c : palette.entries) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = h - 1; y >= 0; --y) {
        const uint8_t* src = canvas.Pixels() + static_cast<size_t>(y) * w;
        out.insert(out.end(), src, src + w);
        for (int pad = w; pad < row; ++pad) out.push_back(0);
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok) std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
    return ok;
}

uint32_t ToolRandom::Next() {
    // xorshift32: deterministic across machines and compilers
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
}

int ToolRandom::Range(int lo, int hi) {
    if (hi <= lo) return lo;
    return lo + static_cast<int>(Next() % static_cast<uint32_t>(hi - lo + 1));
}

float ToolRandom::Unit() { return static_cast<float>(Next() & 0xFFFFFF) / static_cast<float>(0xFFFFFF); }
