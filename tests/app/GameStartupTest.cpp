// Start-up: what stops it, and how the player is told.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <utility>

#include "support/Files.h"
#include "support/GameHarness.h"

namespace {

TEST(GameStartup, AMissingPictureOrSoundEndsStartUpNamingItWithoutAMessageBox) {
    for (const char* file : {"grafik/RutNat.dat", "sound/warp2.dat"}) {
        GameHarness h;
        std::filesystem::remove(file);
        const std::string err = Said([&] { EXPECT_FALSE(h.Start()); });
        EXPECT_NE(err.find(std::filesystem::path(file).filename().string()), std::string::npos) << err;
        EXPECT_EQ(h.host.MessageCount(), 0);
    }
}

TEST(GameStartup, DeviceFailuresShowTheirMessageBoxAndSayWhyOnStderr) {
    using D = HeadlessHost::Device;
    for (auto [device, text] : {std::pair{D::Input, "Unable to setup Direct Input"},
                                {D::Audio, "Unable to setup Direct Sound"},
                                {D::Display, "Unable to setup Direct Draw"}}) {
        GameHarness h;
        h.host.FailNext(device, "the device is unplugged");
        const std::string err = Said([&] { EXPECT_FALSE(h.Start()); });
        EXPECT_EQ((std::tuple{h.host.MessageCount(), std::string(h.host.LastMessageText()),
                              std::string(h.host.LastMessageTitle())}),
                  (std::tuple{1, std::string(text), std::string("Error Message")}));
        EXPECT_NE(err.find("the device is unplugged"), std::string::npos) << err;
    }
}

}  // namespace
