#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/DataDir.h"
#include "support/Files.h"

namespace fs = std::filesystem;

namespace {

// A scratch folder that is also the working directory for the length of a test.
class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override { root_ = scratch_.path().string(); }
    void TearDown() override { unsetenv("VOIDCRAWL_DATA"); }
    std::string Make(const std::string& relative) {
        fs::create_directories(root_ + "/" + relative);
        return root_ + "/" + relative;
    }
    // The places of a program at root/bin/voidcrawl installed to root/inst.
    DataDirPlaces Places(const std::string& given, const std::string& fromEnv) {
        return {given, fromEnv, root_ + "/work", root_ + "/bin/voidcrawl", root_ + "/inst"};
    }
    TempDir scratch_;
    std::string root_;
};

TEST_F(DataDirTest, TheFirstPlaceHoldingGrafikWinsInOrder) {
    // Each case gives grafik to its own place and every later one; the folder
    // the player names (--data, then the environment) is only set from its case on.
    const char* const order[] = {"given", "env", "work", "bin/data", "share/voidcrawl", "inst"};
    for (int first = 0; first < 6; ++first) {
        fs::remove_all(root_);
        fs::create_directories(root_);
        for (int k = 0; k < 6; ++k) Make(std::string(order[k]) + (k >= first ? "/grafik" : "/sound"));
        if (first > 2) std::ofstream(root_ + "/work/grafik").put('x');  // a file called grafik does not count
        const DataDirPlaces places = Places(first == 0 ? root_ + "/given" : "", first <= 1 ? root_ + "/env" : "");
        std::string dir, error;
        ASSERT_TRUE(ChooseDataDir(places, &dir, &error)) << order[first] << ": " << error;
        EXPECT_EQ(dir, root_ + "/" + order[first]);
    }
}

TEST_F(DataDirTest, ANamedFolderWithoutDataIsAnErrorAndASearchInVainListsEveryPlaceOnce) {
    Make("nodata/sound");
    Make("env/grafik");
    std::ofstream(root_ + "/file").put('x');
    const std::pair<DataDirPlaces, std::string> cases[] = {
        {Places(root_ + "/nodata", root_ + "/env"), "--data " + root_ + "/nodata: no game data there"},
        {Places(root_ + "/missing", ""), "--data " + root_ + "/missing: no such folder"},
        {Places(root_ + "/file", ""), "--data " + root_ + "/file: it is a file, not a folder"},
        {Places("", root_ + "/file/grafik"), "VOIDCRAWL_DATA=" + root_ + "/file/grafik: no such folder"},
        {Places(root_ + "/\x1b[31mred", ""), "--data " + root_ + "/?[31mred: no such folder"},
        {Places("", root_ + "/nodata"), "VOIDCRAWL_DATA=" + root_ + "/nodata: no game data there"}};
    std::string dir, error;
    for (const auto& [places, expected] : cases) {
        EXPECT_FALSE(ChooseDataDir(places, &dir, &error)) << expected;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
    }
    DataDirPlaces places = Places("", "");
    places.installDir = root_ + "/bin/../share/voidcrawl/";  // the same folder as bin/../share: listed once
    EXPECT_FALSE(ChooseDataDir(places, &dir, &error));
    EXPECT_NE(error.find("\n  " + root_ + "/work\n  " + root_ + "/bin/data\n  " + root_ + "/share/voidcrawl\n"),
              std::string::npos)
        << error;
    EXPECT_EQ(error.find("/share/voidcrawl\n", error.find("/share/voidcrawl\n") + 1), std::string::npos) << error;
}

}  // namespace
