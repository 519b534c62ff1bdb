#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/DataDir.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder that is also the working directory for the length of a test.
class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = fs::current_path();
        char pattern[] = "/tmp/voidcrawl-datadir-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        fs::current_path(root_);
    }
    void TearDown() override {
        fs::current_path(saved_);
        fs::remove_all(root_);
    }
    std::string Make(const std::string& relative) {
        fs::create_directories(root_ + "/" + relative);
        return root_ + "/" + relative;
    }
    fs::path saved_;
    std::string root_;
};

TEST_F(DataDirTest, TheWorkingDirectoryWithGrafikWinsOverTheDataFolderBesideTheProgram) {
    const std::string work = Make("work"), exe = root_ + "/bin/voidcrawl";
    std::string dir = "unchanged", error;
    Make("bin/data/sound");  // a data folder without grafik, and a grafik that is a file, do not count
    std::ofstream(work + "/grafik").put('x');
    EXPECT_FALSE(ChooseDataDir(work, exe, &dir, &error));
    EXPECT_EQ(dir, "unchanged");
    EXPECT_NE(error.find(work + " "), std::string::npos) << error;
    EXPECT_NE(error.find(root_ + "/bin/data"), std::string::npos) << error;

    Make("bin/data/grafik");
    ASSERT_TRUE(ChooseDataDir(work, exe, &dir, &error));
    EXPECT_EQ(dir, root_ + "/bin/data");
    fs::remove(work + "/grafik");
    Make("work/grafik");
    ASSERT_TRUE(ChooseDataDir(work, exe, &dir, &error));
    EXPECT_EQ(dir, work);
}

TEST_F(DataDirTest, FindLooksBesideThisProgramAndEnterMovesIntoTheFolderFound) {
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string beside = self.substr(0, self.find_last_of('/')) + "/data";
    std::string dir, error;
    if (!fs::is_directory(beside + "/grafik")) {
        EXPECT_FALSE(EnterDataDir("voidcrawl", &dir, &error));
        EXPECT_NE(error.find(beside), std::string::npos) << error;
        EXPECT_NE(error.find(fs::current_path().string()), std::string::npos) << error;
    }
    Make("game/grafik");
    fs::current_path(root_ + "/game");
    ASSERT_TRUE(FindDataDir(nullptr, &dir, &error)) << error;
    EXPECT_EQ(dir, fs::current_path().string());
    ASSERT_TRUE(EnterDataDir(nullptr, &dir, &error)) << error;
    EXPECT_EQ(fs::current_path().string(), dir);
    EXPECT_TRUE(fs::is_directory("grafik"));
}

}  // namespace
