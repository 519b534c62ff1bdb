// mkdata: writes the whole VoidCrawl data set into one directory.
// Usage: mkdata OUTPUT_DIR
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "Generators.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdata OUTPUT_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(dir + "/grafik", ec);
    std::filesystem::create_directories(dir + "/sound", ec);
    if (ec) {
        std::fprintf(stderr, "mkdata: cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
        return 1;
    }
    bool ok = MakeFonts(dir);
    ok = MakeFrontEnd(dir) && ok;
    ok = MakePlayArt(dir) && ok;
    ok = MakeSounds(dir) && ok;
    ok = MakeLevels(dir) && ok;
    ok = MakeIcons(dir) && ok;
    return ok ? 0 : 1;
}
