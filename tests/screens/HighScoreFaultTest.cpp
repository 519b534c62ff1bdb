// A game that ends where its high-score table cannot be saved, or not even
// read. (Every writer's faults — a full disk, a kill at each system call,
// two games at once — are in tests/platform/SaveFaultTest.cpp.)

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "io/Input.h"
#include "platform/UserDir.h"
#include "screens/HighScoreTable.h"
#include "support/Files.h"
#include "support/GameHarness.h"

namespace {

namespace fs = std::filesystem;

// A game that ends where its table cannot be saved, or cannot even be read:
// the file stays as it was, the player is told why (once when an unreadable
// table is first read, and again at game over that the result was not
// saved), and the table on screen still shows the result.
TEST(HighScoreFaultInPlay, AGameOverThatCannotSaveLeavesTheFileAndSaysWhy) {
    struct Fault {
        const char* what;
        void (*make)();
        const char* file;           // what stays as it was
        int messages;               // boxes shown by the end of the game
        const char* shownAtTheEnd;  // in the last one
        const char* reasonNames;
    };
    const Fault faults[] = {
        {"a file stands where the user folder should be",
         [] {
             std::ofstream("blocked") << "not a folder";
             SetUserDir((fs::current_path() / "blocked/voidcrawl").c_str());
         },
         "blocked", 1, "teasy.dat could not be saved", "blocked"},
        {"a folder stands where the table should be",
         [] {
             fs::create_directories("user/teasy.dat");
             SetUserDir((fs::current_path() / "user").c_str());
         },
         "user/teasy.dat", 2, "teasy.dat could not be read", "it is a folder, not a file"},
        {"a named pipe stands where the table should be (never opened blocking)",
         [] {
             fs::create_directories("user");
             ASSERT_EQ(mkfifo("user/teasy.dat", 0644), 0);
             SetUserDir((fs::current_path() / "user").c_str());
         },
         "user/teasy.dat", 2, "so your result was not saved", "it is a pipe, not a file"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        GameHarness h;
        ASSERT_TRUE(h.Start());
        const ScopedUserDir dataFolder("");
        fault.make();
        const fs::file_status before = fs::symlink_status(fault.file);
        const Bytes beforeBytes = fs::is_regular_file(before) ? ReadAll(fault.file) : Bytes{};

        Match& match = h.game->match;
        testing::internal::CaptureStderr();
        h.BeginMatch(1, 0);
        ASSERT_FALSE(match.levelFailed) << match.levelError;
        h.BeginMatch(1, 0);  // a second game: an unreadable table is not reported again
        match.phase = MatchPhase::Play;
        match.worms[0].active = 0;
        match.worms[0].stats.lives = 0;
        match.worms[0].score = 999999;
        match.Frame();  // the player runs out: the result is saved (or not) at once
        EXPECT_TRUE(match.resultsSaved);
        for (int i = 0; i <= Match::kGameOverCueFrames; ++i) match.Frame();  // the cue, then the table
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(h.host.MessageCount(), fault.messages) << err;
        EXPECT_STREQ(h.host.LastMessageTitle(), "Error Message");
        const std::string shown = h.host.LastMessageText();
        EXPECT_NE(shown.find(fault.shownAtTheEnd), std::string::npos) << shown;
        EXPECT_NE(shown.find(fault.reasonNames), std::string::npos) << shown;
        EXPECT_EQ(shown.find("The old table is kept"), std::string::npos) << "there was no old table: " << shown;
        EXPECT_NE(err.find(shown), std::string::npos) << "stderr has the same line: " << err;
        EXPECT_EQ(fs::symlink_status(fault.file).type(), before.type());
        if (fs::is_regular_file(before)) {
            EXPECT_EQ(ReadAll(fault.file), beforeBytes);
        }
        // The table in memory still has the result, and shows it.
        h.game->highScoreScreen.Sort();
        EXPECT_EQ(h.game->highScoreScreen.order[0]->score, 999999);
    }
}

}  // namespace
