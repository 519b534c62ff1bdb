// A saved high-score table must survive a write that stops at any byte:
// the file holds the old table or the new one, whole, and the next load
// reads exactly one of them. (A full disk, a
// kill at each system call and the other faults every writer meets are in
// tests/platform/SaveFaultTest.cpp.)
//
// The faults are real ones, made without touching the game's code: a file
// size limit (RLIMIT_FSIZE) stops the write at a chosen byte.

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/Input.h"
#include "platform/UserDir.h"
#include "screens/HighScoreTable.h"
#include "support/Files.h"
#include "support/GameHarness.h"

namespace {

namespace fs = std::filesystem;

// A full table whose every byte differs from the other table's.
void MakeTable(HighScoreTable& t, int32_t base, const char* prefix) {
    t.Clear();
    for (int i = 0; i < HighScoreTable::kRecords; ++i) {
        HighScoreRecord& r = t.records[i];
        r.score = base + i * 1111;
        std::snprintf(r.name, sizeof r.name, "%s%d", prefix, i);
        r.lengthTotal = base / 10 + i;
        r.level = 1 + (base + i) % 20;
    }
}

// The bytes a table saves as, read back from a scratch save.
Bytes SavedBytes(HighScoreTable& t) {
    EXPECT_TRUE(t.Save("scratch.dat"));
    Bytes b = ReadAll("scratch.dat");
    std::remove("scratch.dat");
    EXPECT_EQ(b.size(), static_cast<size_t>(HighScoreTable::kFileBytes));
    return b;
}

// Files in the folder besides the table: temporary files left behind.
int Leftovers() {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(".")) n += entry.path().filename() != "teasy.dat";
    return n;
}

bool SameRecords(const HighScoreTable& a, const HighScoreTable& b) {
    return std::memcmp(a.records, b.records, sizeof a.records) == 0;
}

class HighScoreFault : public ::testing::Test {
protected:
    void SetUp() override {
        MakeTable(oldTable, 1000, "OLD");
        MakeTable(newTable, 70000, "NEWER");
        oldBytes = SavedBytes(oldTable);
        newBytes = SavedBytes(newTable);
        ASSERT_NE(oldBytes, newBytes);
        WriteAll(kFile, oldBytes);
    }

    // The file is the old table or the new one, whole, and a load gives
    // exactly that table. Returns 0 for old, 1 for new, -1 for anything else.
    int Which() {
        const Bytes now = ReadAll(kFile);
        HighScoreTable loaded;
        loaded.Load(kFile, 0);
        if (now == oldBytes && SameRecords(loaded, oldTable)) return 0;
        if (now == newBytes && SameRecords(loaded, newTable)) return 1;
        return -1;
    }

    static constexpr const char* kFile = "teasy.dat";
    TempDir dir;
    HighScoreTable oldTable;
    HighScoreTable newTable;
    Bytes oldBytes;
    Bytes newBytes;
};

// Lowers the soft file size limit for its lifetime; writes past it fail
// with EFBIG instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lower = saved_;
        lower.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    sighandler_t previous_ = SIG_DFL;
    bool ok_ = false;
};

TEST_F(HighScoreFault, AWriteThatStopsAtAnyByteKeepsTheOldTable) {
    for (rlim_t limit = 0; limit <= HighScoreTable::kFileBytes + 1; ++limit) {
        SCOPED_TRACE("the write stops after " + std::to_string(limit) + " bytes");
        bool saved = false;
        {
            FileSizeLimit cap(limit);
            ASSERT_TRUE(cap.ok());
            saved = newTable.Save(kFile);
        }
        if (limit < static_cast<rlim_t>(HighScoreTable::kFileBytes)) {
            EXPECT_FALSE(saved);
            EXPECT_EQ(Which(), 0);
        } else {
            EXPECT_TRUE(saved);
            EXPECT_EQ(Which(), 1);
        }
        EXPECT_EQ(Leftovers(), 0) << "a failed save leaves its temporary file behind";
        WriteAll(kFile, oldBytes);
    }
}

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
        match.introPending = 0;
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
