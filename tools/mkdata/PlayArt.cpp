// Writes the pictures of play: everything drawn during a match.
#include <string>

#include "Generators.h"
#include "PlayPaint.h"

bool MakePlayArt(const std::string& dir) {
    const Palette palette = SharedPalette();
    const std::string g = dir + "/grafik/";
    bool ok = WriteBmp(g + "SW1.dat", play::BuildWormSheet(0), palette);
    ok = WriteBmp(g + "SW2.dat", play::BuildWormSheet(1), palette) && ok;
    ok = WriteBmp(g + "Explotions.dat", play::BuildExplosionSheet(), palette) && ok;
    ok = WriteBmp(g + "Shared.dat", play::BuildSharedSheet(), palette) && ok;
    ok = WriteBmp(g + "food.dat", play::BuildFoodSheet(), palette) && ok;
    ok = WriteBmp(g + "walls.dat", play::BuildWallSheet(), palette) && ok;
    ok = WriteBmp(g + "RutNat.dat", play::BuildIntroPanel(), palette) && ok;
    ok = WriteBmp(g + "Complete.dat", play::BuildCompletePicture(), palette) && ok;
    return ok;
}
