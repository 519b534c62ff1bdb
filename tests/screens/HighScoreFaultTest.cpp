// A saved high-score table must survive every way a save can go wrong: a
// write that stops at any byte, a full disk, and the process killed at any
// point of the save. In each case the file holds the old table or the new
// one, whole, and the next load reads exactly one of them.
//
// The faults are real ones, made without touching the game's code: a file
// size limit (RLIMIT_FSIZE) stops the write at a chosen byte; /dev/full and
// a tiny tmpfs give ENOSPC; a child process that saves is killed at each of
// its system calls in turn (under ptrace) and at random moments.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
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
    static constexpr const char* kTemp = "teasy.dat.new";
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
        EXPECT_FALSE(fs::exists(kTemp)) << "a failed save leaves its temporary file behind";
        WriteAll(kFile, oldBytes);
    }
}

TEST_F(HighScoreFault, AFullDeviceFailsTheSaveAndKeepsTheOldTable) {
    // The temporary file lands on /dev/full: every write there fails with ENOSPC.
    ASSERT_EQ(symlink("/dev/full", kTemp), 0) << std::strerror(errno);
    EXPECT_FALSE(newTable.Save(kFile));
    EXPECT_EQ(Which(), 0);
    EXPECT_FALSE(fs::is_symlink(kTemp));
    // With room again, the next save goes through.
    EXPECT_TRUE(newTable.Save(kFile));
    EXPECT_EQ(Which(), 1);
}

// Runs `body` in a child process; its answer comes back through a pipe
// ("" when every step held). A child that dies says so.
std::string InChild(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string answer = body();
        const ssize_t ignored = write(fds[1], answer.data(), answer.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string answer;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) answer.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child died: " + answer;
    return answer;
}

TEST_F(HighScoreFault, AFullFileSystemFailsTheSaveAndKeepsTheOldTable) {
    // A private 8 KB tmpfs (two pages) in a mount namespace of its own, so
    // nothing outlives the child. Needs the right to mount (root).
    const std::string answer = InChild([&]() -> std::string {
        if (unshare(CLONE_NEWNS) != 0) return std::string("skip: no mount namespace: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("skip: cannot make mounts private: ") + std::strerror(errno);
        fs::create_directory("small");
        if (mount("tmpfs", "small", "tmpfs", 0, "size=8k,nr_inodes=16") != 0)
            return std::string("skip: cannot mount a tmpfs: ") + std::strerror(errno);
        if (chdir("small") != 0) return "cannot enter the tmpfs";
        if (!oldTable.Save(kFile)) return "the first save does not fit an empty tmpfs";
        // Fill what is left.
        int filler = open("filler", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (filler < 0) return "no filler file";
        static const char block[512] = {};
        while (write(filler, block, sizeof block) > 0) {
        }
        const int full = errno;
        close(filler);
        if (full != ENOSPC) return std::string("filling stopped with ") + std::strerror(full);
        if (newTable.Save(kFile)) return "a save onto a full file system succeeded";
        std::string problems;
        if (ReadAll(kFile) != oldBytes) problems += "the old table was damaged; ";
        if (fs::exists(kTemp)) problems += "the temporary file was left behind; ";
        HighScoreTable loaded;
        loaded.Load(kFile, 0);
        if (!SameRecords(loaded, oldTable)) problems += "the old table does not load; ";
        std::remove("filler");
        if (!newTable.Save(kFile)) problems += "the save fails once there is room; ";
        if (ReadAll(kFile) != newBytes) problems += "the new table is not there after the save; ";
        if (chdir("..") != 0 || umount("small") != 0) problems += "cannot unmount; ";
        return problems;
    });
    if (answer.rfind("skip:", 0) == 0) GTEST_SKIP() << answer;
    EXPECT_EQ(answer, "");
}

#if defined(__x86_64__)
bool IsRename(long call) {
    return call == SYS_rename || call == SYS_renameat || call == SYS_renameat2;
}

// Traces a child that saves the new table, stops it at system call stop
// number `killAt` (entries and exits both count) and kills it there; with
// killAt = 0 it runs to the end. Reports the number of stops seen and
// whether the rename had completed when the child died.
struct TracedSave {
    bool traced = false;
    int stops = 0;
    bool renameDone = false;
    bool exited = false;
};

TracedSave SaveUnderTrace(HighScoreTable& table, const char* file, int killAt) {
    TracedSave result;
    const pid_t pid = fork();
    if (pid == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(3);
        raise(SIGSTOP);
        table.Save(file);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFSTOPPED(status)) {
        waitpid(pid, &status, 0);
        return result;
    }
    result.traced = true;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    bool inRename = false;
    bool entering = true;
    for (;;) {
        if (ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) != 0) break;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            result.exited = true;
            return result;
        }
        if (!(WIFSTOPPED(status) && WSTOPSIG(status) == (SIGTRAP | 0x80))) continue;
        ++result.stops;
        user_regs_struct regs{};
        ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
        const long call = static_cast<long>(regs.orig_rax);
        if (entering) {
            inRename = IsRename(call);
        } else if (inRename && static_cast<long>(regs.rax) == 0) {
            result.renameDone = true;
        }
        entering = !entering;
        if (killAt != 0 && result.stops == killAt) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return result;
        }
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
}
#endif

TEST_F(HighScoreFault, KilledAtEverySystemCallOfTheSaveTheTableStaysWhole) {
#if !defined(__x86_64__)
    GTEST_SKIP() << "system call tracing is written for x86-64";
#else
    const TracedSave whole = SaveUnderTrace(newTable, kFile, 0);
    if (!whole.traced) GTEST_SKIP() << "ptrace is not permitted here";
    ASSERT_TRUE(whole.exited);
    ASSERT_TRUE(whole.renameDone) << "the save never renamed its file";
    ASSERT_EQ(Which(), 1);
    int killedBefore = 0, killedAfter = 0;
    for (int k = 1; k < whole.stops; ++k) {
        SCOPED_TRACE("killed at system call stop " + std::to_string(k) + " of " + std::to_string(whole.stops));
        WriteAll(kFile, oldBytes);
        std::remove(kTemp);
        const TracedSave cut = SaveUnderTrace(newTable, kFile, k);
        ASSERT_TRUE(cut.traced);
        // Up to the rename the old table is there; from it on the new one.
        EXPECT_EQ(Which(), cut.renameDone ? 1 : 0);
        ++(cut.renameDone ? killedAfter : killedBefore);
        // Whatever was left behind, the next save works and replaces it.
        HighScoreTable next;
        MakeTable(next, 5000, "NEXT");
        const Bytes nextBytes = SavedBytes(next);
        ASSERT_TRUE(next.Save(kFile));
        EXPECT_EQ(ReadAll(kFile), nextBytes);
        EXPECT_FALSE(fs::exists(kTemp));
    }
    EXPECT_GT(killedBefore, 4);  // the open, write, sync and close all come before
    EXPECT_GE(killedAfter, 1);
    RecordProperty("system_call_stops", whole.stops);
#endif
}

TEST_F(HighScoreFault, KilledAtRandomMomentsWhileSavingTheTableStaysWhole) {
    // A child saves the old and the new table in turn, without end; it is
    // killed after a random delay, and the file must hold one table whole.
    std::mt19937 random(20240611);
    int sawOld = 0, sawNew = 0, leftTemp = 0;
    const int kRounds = 150;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const pid_t pid = fork();
        if (pid == 0) {
            for (int i = 0;; ++i) (i % 2 ? oldTable : newTable).Save(kFile);
        }
        ASSERT_GT(pid, 0);
        const int micros = static_cast<int>(random() % 3000);
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        const int which = Which();
        ASSERT_NE(which, -1) << "the table file is neither table after a kill";
        ++(which == 0 ? sawOld : sawNew);
        leftTemp += fs::exists(kTemp);
    }
    // The next save after all that still works.
    EXPECT_TRUE(newTable.Save(kFile));
    EXPECT_EQ(Which(), 1);
    EXPECT_FALSE(fs::exists(kTemp));
    EXPECT_EQ(sawOld + sawNew, kRounds);
    RecordProperty("left_temporary_file", leftTemp);
}

TEST(HighScoreFaultInPlay, AGameOverThatCannotSaveKeepsTheOldTableAndShowsWhy) {
    struct Fault {
        const char* what;
        void (*make)();
        const char* reasonNames;  // in the message shown
    };
    const Fault faults[] = {
        {"the new file lands on a full device",
         [] { ASSERT_EQ(symlink("/dev/full", "teasy.dat.new"), 0) << std::strerror(errno); }, "teasy.dat.new"},
        {"a file stands where the user folder should be",
         [] {
             std::ofstream("blocked") << "not a folder";
             SetUserDir((fs::current_path() / "blocked/voidcrawl").c_str());
         },
         "blocked"},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.what);
        GameHarness h;
        ASSERT_TRUE(h.Start());
        const ScopedUserDir dataFolder("");
        HighScoreTable old;
        MakeTable(old, 100, "KEPT");
        ASSERT_TRUE(old.Save("teasy.dat"));
        const Bytes before = ReadAll("teasy.dat");
        fault.make();

        Match& match = h.game->match;
        h.BeginMatch(1, 0);
        ASSERT_FALSE(match.levelFailed) << match.levelError;
        match.introPending = 0;
        match.worms[0].active = 0;
        match.worms[0].stats.lives = 0;
        match.worms[0].score = 999999;
        testing::internal::CaptureStderr();
        match.Frame();  // the player runs out
        for (int i = 1; i < Match::kGameOverCueFrames; ++i) match.Frame();  // the game-over cue
        ASSERT_EQ(h.host.MessageCount(), 0);
        match.Frame();  // game over: the result goes into the table, which is saved
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(match.resultsSaved);
        EXPECT_NE(err.find("teasy.dat"), std::string::npos) << err;
        // The player is told, once, with the reason.
        EXPECT_EQ(h.host.MessageCount(), 1);
        EXPECT_STREQ(h.host.LastMessageTitle(), "Error Message");
        const std::string shown = h.host.LastMessageText();
        EXPECT_NE(shown.find("teasy.dat could not be saved"), std::string::npos) << shown;
        EXPECT_NE(shown.find(fault.reasonNames), std::string::npos) << shown;
        EXPECT_NE(err.find(shown), std::string::npos) << "stderr has the same line: " << err;
        EXPECT_EQ(ReadAll("teasy.dat"), before);
        HighScoreTable loaded;
        loaded.Load("teasy.dat", 0);
        EXPECT_TRUE(SameRecords(loaded, old));
        // The table in memory still has the result, and shows it.
        h.game->highScoreScreen.Sort();
        EXPECT_EQ(h.game->highScoreScreen.order[0]->score, 999999);
    }
}

}  // namespace
