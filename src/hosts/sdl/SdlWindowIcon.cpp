#include "hosts/sdl/SdlWindowIcon.h"

#include <SDL.h>
#include <png.h>

#include <cstring>
#include <vector>

#include "platform/GameFile.h"

namespace {

constexpr const char* kIconFile = "icons\\voidcrawl-64.png";
constexpr png_uint_32 kMaxIconSide = 256;

}  // namespace

bool SetWindowIcon(SDL_Window* window) {
    if (window == nullptr) return false;
    char path[kMaxGameFileName + 1];
    if (!MapGameFileName(kIconFile, path)) return false;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path) == 0) return false;
    if (image.width == 0 || image.height == 0 || image.width > kMaxIconSide || image.height > kMaxIconSide) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), static_cast<int>(image.width), static_cast<int>(image.height),
                                           32, static_cast<int>(image.width * 4), SDL_PIXELFORMAT_RGBA32);
    if (surface == nullptr) return false;
    SDL_SetWindowIcon(window, surface);
    SDL_FreeSurface(surface);
    return true;
}
