#pragma once
// Shared by the runner's tests: PNG reading, and a fixture that runs the
// real voidcrawl-headless binary on a private copy of the generated data set.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/Files.h"

namespace runner_test {

namespace fs = std::filesystem;

// ---- PNG -------------------------------------------------------------------

struct Picture {
    bool ok = false;
    png_uint_32 width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

inline Picture ReadPicture(const fs::path& path) {
    Picture pic;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return pic;
    image.format = PNG_FORMAT_RGB;
    pic.width = image.width;
    pic.height = image.height;
    pic.rgb.resize(PNG_IMAGE_SIZE(image));
    pic.ok = png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr) != 0;
    return pic;
}

// ---- running the binary ------------------------------------------------------

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Each test gets its own copy of the data set ("data"), without high-score
// tables, and its own working directory ("work") that the runner starts in.
class RunnerScenario : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::path(::testing::TempDir()) / (std::string("vc_runner_") + info->test_suite_name() + "_" +
                                                  info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "work");
        fs::copy(VC_DATA_DIR, root_ / "data", fs::copy_options::recursive);
        fs::remove(root_ / "data" / ".stamp");
        for (const char* table : {"teasy.dat", "tmed.dat", "thard.dat"}) fs::remove(Data() / table);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(root_);
    }

    fs::path Data() const { return root_ / "data"; }
    fs::path Work() const { return root_ / "work"; }

    // `program`: the command to run instead (another of the game's programs,
    // or the runner under `timeout`), given the same arguments.
    RunResult Run(const std::string& args, const std::string& program = "'" VC_RUNNER "'") {
        const fs::path outFile = root_ / "stdout.txt", errFile = root_ / "stderr.txt";
        const std::string command = "cd '" + Work().string() + "' && " + program + " " + args + " --data '" +
                                    Data().string() + "' >'" + outFile.string() + "' 2>'" + errFile.string() + "'";
        const int raw = std::system(command.c_str());
        return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(outFile), ReadText(errFile)};
    }

    fs::path root_;
};

}  // namespace runner_test
