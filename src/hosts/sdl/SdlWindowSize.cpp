#include "hosts/sdl/SdlWindowSize.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <dlfcn.h>

namespace {

#if defined(SDL_VIDEO_DRIVER_X11)
// XGetGeometry of the libX11 SDL has loaded already: nothing more to link,
// and nothing asked of a program that runs on another display server.
using GetGeometry = int (*)(Display*, Drawable, Window*, int*, int*, unsigned*, unsigned*, unsigned*, unsigned*);

GetGeometry FindGetGeometry() {
    static GetGeometry found = nullptr;
    static bool looked = false;
    if (!looked) {
        looked = true;
        void* x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
        if (x11 != nullptr) found = reinterpret_cast<GetGeometry>(dlsym(x11, "XGetGeometry"));
    }
    return found;
}
#endif

}  // namespace

bool RealWindowSize(SDL_Window* window, int* width, int* height) {
#if defined(SDL_VIDEO_DRIVER_X11)
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    const GetGeometry getGeometry = FindGetGeometry();
    if (getGeometry == nullptr) return false;
    Window root = 0;
    int x = 0, y = 0;
    unsigned w = 0, h = 0, border = 0, depth = 0;
    if (getGeometry(info.info.x11.display, info.info.x11.window, &root, &x, &y, &w, &h, &border, &depth) == 0)
        return false;
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return w > 0 && h > 0;
#else
    (void)window;
    (void)width;
    (void)height;
    return false;
#endif
}
