#include "platform/DataDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// A scratch folder tree, removed with everything in it afterwards.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/voidcrawl-datadir-XXXXXX";
        const char* made = mkdtemp(pattern);
        path_ = made != nullptr ? made : "";
    }
    ~ScratchDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string MakeDir(const std::string& relative) const {
        std::string full = path_ + "/" + relative;
        std::system(("mkdir -p '" + full + "'").c_str());
        return full;
    }
    std::string MakeFile(const std::string& relative) const {
        std::string full = path_ + "/" + relative;
        if (std::FILE* f = std::fopen(full.c_str(), "w")) std::fclose(f);
        return full;
    }

private:
    std::string path_;
};

// Runs a test body in another working directory and comes back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) {
        if (getcwd(saved_, sizeof saved_) == nullptr) saved_[0] = '\0';
        entered_ = chdir(dir.c_str()) == 0;
    }
    ~WorkingDirectory() {
        if (saved_[0] != '\0' && chdir(saved_) != 0) std::perror("chdir back");
    }
    bool entered() const { return entered_; }

private:
    char saved_[PATH_MAX];
    bool entered_ = false;
};

std::string Current() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != nullptr ? buffer : "";
}

TEST(ChooseDataDir, TheWorkingDirectoryWinsWhenItHoldsGrafik) {
    ScratchDir scratch;
    ASSERT_FALSE(scratch.path().empty());
    std::string work = scratch.MakeDir("work");
    scratch.MakeDir("work/grafik");
    scratch.MakeDir("bin/data/grafik");
    std::string dir, error;
    ASSERT_TRUE(ChooseDataDir(work, scratch.path() + "/bin/voidcrawl", &dir, &error));
    EXPECT_EQ(dir, work);
}

TEST(ChooseDataDir, OtherwiseTheDataFolderBesideTheProgram) {
    ScratchDir scratch;
    std::string work = scratch.MakeDir("work");
    scratch.MakeDir("bin/data/grafik");
    std::string dir, error;
    ASSERT_TRUE(ChooseDataDir(work, scratch.path() + "/bin/voidcrawl", &dir, &error));
    EXPECT_EQ(dir, scratch.path() + "/bin/data");
}

TEST(ChooseDataDir, FailsWithBothPlacesNamedWhenNeitherHoldsGrafik) {
    ScratchDir scratch;
    std::string work = scratch.MakeDir("work");
    // A data folder without grafik, and a grafik that is a file, do not count.
    scratch.MakeDir("bin/data/sound");
    scratch.MakeFile("work/grafik");
    std::string dir = "unchanged", error;
    EXPECT_FALSE(ChooseDataDir(work, scratch.path() + "/bin/voidcrawl", &dir, &error));
    EXPECT_EQ(dir, "unchanged");
    EXPECT_NE(error.find(work), std::string::npos) << error;
    EXPECT_NE(error.find(scratch.path() + "/bin/data"), std::string::npos) << error;
}

TEST(FindDataDir, FindsTheWorkingDirectoryThatHoldsGrafik) {
    ScratchDir scratch;
    scratch.MakeDir("grafik");
    WorkingDirectory in(scratch.path());
    ASSERT_TRUE(in.entered());
    std::string dir, error;
    ASSERT_TRUE(FindDataDir(nullptr, &dir, &error)) << error;
    EXPECT_EQ(dir, Current());
}

TEST(FindDataDir, LooksBesideThisProgramWhenTheWorkingDirectoryHasNoData) {
    // This test program has no data folder beside it, so the search fails
    // and says where it looked: the working directory and .../data.
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = '\0';
    std::string beside = std::string(self).substr(0, std::string(self).find_last_of('/')) + "/data";
    struct stat info;
    if (stat((beside + "/grafik").c_str(), &info) == 0) GTEST_SKIP() << beside << " holds data";

    ScratchDir scratch;
    WorkingDirectory in(scratch.path());
    ASSERT_TRUE(in.entered());
    std::string dir, error;
    EXPECT_FALSE(FindDataDir("voidcrawl", &dir, &error));
    EXPECT_NE(error.find(beside), std::string::npos) << error;
    EXPECT_NE(error.find(Current()), std::string::npos) << error;
}

TEST(EnterDataDir, MakesTheDataFolderTheWorkingDirectory) {
    ScratchDir scratch;
    std::string data = scratch.MakeDir("game");
    scratch.MakeDir("game/grafik");
    WorkingDirectory in(data);
    ASSERT_TRUE(in.entered());
    std::string dir, error;
    ASSERT_TRUE(EnterDataDir(nullptr, &dir, &error)) << error;
    EXPECT_EQ(Current(), dir);
    // Relative names now reach the data.
    struct stat info;
    EXPECT_EQ(stat("grafik", &info), 0);
}

}  // namespace
