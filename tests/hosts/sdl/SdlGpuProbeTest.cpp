#include "hosts/sdl/SdlGpuProbe.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "support/Files.h"

namespace {

// The probe is the game itself started again. Without a screen its
// renderer draws on the CPU; when it cannot answer, the window asks in its
// own process instead.
TEST(SdlGpuProbe, TheGameAnswersWhetherItsRendererDrawsOnTheCpu) {
    struct Case {
        const char* driver;
        const char* program;
        GpuAnswer answer;
    };
    const Case cases[] = {
        {"dummy", VC_GAME, GpuAnswer::Cpu},
        {"no-such-driver", VC_GAME, GpuAnswer::Unknown},
        {"dummy", "/nonexistent/voidcrawl", GpuAnswer::Unknown},
    };
    const char* before = std::getenv("SDL_VIDEODRIVER");
    const std::string kept = before != nullptr ? before : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.driver << " " << c.program);
        setenv("SDL_VIDEODRIVER", c.driver, 1);
        EXPECT_EQ(FinishGpuProbe(StartGpuProbe(c.program), 5000), c.answer);
    }
    if (before != nullptr) {
        setenv("SDL_VIDEODRIVER", kept.c_str(), 1);
    } else {
        unsetenv("SDL_VIDEODRIVER");
    }
    EXPECT_FALSE(GpuProbeAsked());
}

// A GPU is a DRM device or NVIDIA's; an empty /dev/dri, or none, is no GPU.
TEST(SdlGpuProbe, AGpuIsADrmOrNvidiaDevice) {
    const ScratchDir dev;
    EXPECT_FALSE(GpuDevicePresent(dev.path().c_str()));
    std::filesystem::create_directory(dev / "dri");
    WriteAll(dev / "dri/by-path", Bytes{});
    EXPECT_FALSE(GpuDevicePresent(dev.path().c_str()));
    WriteAll(dev / "dri/renderD128", Bytes{});
    EXPECT_TRUE(GpuDevicePresent(dev.path().c_str()));
    const ScratchDir nvidia;
    WriteAll(nvidia / "nvidiactl", Bytes{});
    EXPECT_TRUE(GpuDevicePresent(nvidia.path().c_str()));
}

}  // namespace
