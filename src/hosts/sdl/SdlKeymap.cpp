#include "hosts/sdl/SdlKeymap.h"

#include <SDL.h>

#include "platform/KeyNames.h"

// SDL's scan codes are the USB keyboard positions the key table speaks in.
uint8_t SdlScancodeToDik(int sdlScancode) {
    if (sdlScancode < 0 || sdlScancode >= SDL_NUM_SCANCODES) return 0;
    return DikFromUsbPosition(sdlScancode);
}
