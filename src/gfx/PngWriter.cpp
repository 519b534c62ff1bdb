#include "gfx/PngWriter.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace {

// The picture as the encoder wants it, or false when there is none.
bool ToRgb(const uint8_t* pixels, int width, int height, const PaletteEntry* palette, std::vector<uint8_t>* rgb,
           png_image* image, std::string* error) {
    if (pixels == nullptr || palette == nullptr || width <= 0 || height <= 0) {
        if (error) *error = "no picture to write";
        return false;
    }
    rgb->resize(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0, n = static_cast<size_t>(width) * height; i < n; ++i) {
        const PaletteEntry& e = palette[pixels[i]];
        (*rgb)[i * 3 + 0] = e.red;
        (*rgb)[i * 3 + 1] = e.green;
        (*rgb)[i * 3 + 2] = e.blue;
    }
    std::memset(image, 0, sizeof *image);
    image->version = PNG_IMAGE_VERSION;
    image->width = static_cast<png_uint_32>(width);
    image->height = static_cast<png_uint_32>(height);
    image->format = PNG_FORMAT_RGB;
    return true;
}

}  // namespace

bool WritePalettedPng(const std::string& path, const uint8_t* pixels, int width, int height,
                      const PaletteEntry* palette, std::string* error) {
    std::vector<uint8_t> rgb;
    png_image image;
    if (!ToRgb(pixels, width, height, palette, &rgb, &image, error)) return false;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), width * 3, nullptr)) {
        if (error) *error = "cannot write '" + path + "': " + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

bool EncodePalettedPng(const uint8_t* pixels, int width, int height, const PaletteEntry* palette,
                       std::vector<uint8_t>* png, std::string* error) {
    std::vector<uint8_t> rgb;
    png_image image;
    if (!ToRgb(pixels, width, height, palette, &rgb, &image, error)) return false;
    // The first call measures, the second writes.
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), width * 3, nullptr)) {
        if (error) *error = image.message;
        png_image_free(&image);
        return false;
    }
    png->resize(size);
    if (!png_image_write_to_memory(&image, png->data(), &size, 0, rgb.data(), width * 3, nullptr)) {
        if (error) *error = image.message;
        png_image_free(&image);
        return false;
    }
    png->resize(size);
    return true;
}
