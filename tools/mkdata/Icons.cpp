// The desktop icons: the steel worm's head, shaded afresh at each size (not
// scaled up from the 32-pixel sprite), written as RGBA PNGs whose background
// is transparent.
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "Generators.h"
#include "PlayPaint.h"

namespace {

constexpr float kIconPicture = 48.f;  // the icon shader's picture size

bool WritePng(const std::string& path, const Canvas& canvas, const Palette& palette) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> rows(static_cast<size_t>(canvas.Width()) * canvas.Height() * 4);
    bool ok = png != nullptr && info != nullptr;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, canvas.Width(), canvas.Height(), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < canvas.Height(); ++y) {
            png_byte* row = &rows[static_cast<size_t>(y) * canvas.Width() * 4];
            for (int x = 0; x < canvas.Width(); ++x) {
                const uint8_t index = canvas.Get(x, y);
                const Rgb& c = palette.entries[index];
                row[x * 4 + 0] = c.r;
                row[x * 4 + 1] = c.g;
                row[x * 4 + 2] = c.b;
                row[x * 4 + 3] = index == 0 ? 0 : 255;  // index 0 is the see-through background
            }
            png_write_row(png, row);
        }
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(png != nullptr ? &png : nullptr, info != nullptr ? &info : nullptr);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) std::fprintf(stderr, "mkdata: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

Canvas BuildIcon(int size) {
    Canvas icon(size, size, 0);
    const float scale = kIconPicture / static_cast<float>(size);
    play::ShadeOptions options;
    options.supersample = 4;
    play::ShadeRect(
        icon, 0, 0, size, size, [scale](float x, float y) { return play::WormIconInk(x * scale, y * scale); }, options);
    return icon;
}

bool MakeIcons(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir + "/icons", ec);
    if (ec) {
        std::fprintf(stderr, "mkdata: cannot create %s/icons: %s\n", dir.c_str(), ec.message().c_str());
        return false;
    }
    const Palette palette = SharedPalette();
    bool ok = true;
    for (int size : kIconSizes) {
        ok = WritePng(dir + "/icons/voidcrawl-" + std::to_string(size) + ".png", BuildIcon(size), palette) && ok;
    }
    return ok;
}
