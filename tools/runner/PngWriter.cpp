#include "PngWriter.h"

#include <png.h>

#include <cstring>
#include <vector>

bool WritePalettedPng(const std::string& path, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error) {
    if (pixels == nullptr || palette == nullptr || width <= 0 || height <= 0) {
        if (error) *error = "no picture to write";
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        const PaletteEntry& e = palette[pixels[i]];
        rgb[i * 3 + 0] = e.red;
        rgb[i * 3 + 1] = e.green;
        rgb[i * 3 + 2] = e.blue;
    }

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        if (error) *error = "cannot write '" + path + "': " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}
