// Every file the game writes, against every fault a player's machine can
// throw at it. After each: the old bytes are whole or the new bytes are
// complete, never anything in between, and a save that did not happen says
// why. The faults are real ones: a read-only mount, a full tmpfs (both in a
// mount namespace of a child process), a FIFO, a folder and a link in the
// file's place, a file the game may not read, the process killed at each
// of its system calls (under ptrace), and two processes saving at once.
//
// Each case runs in a child process, which makes its fault, saves, checks
// and reports one line: empty when all is well.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/ptrace.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Replay.h"
#include "gfx/Display.h"
#include "gfx/PngWriter.h"
#include "gfx/ScreenDump.h"
#include "gfx/Screenshot.h"
#include "platform/SaveFile.h"
#include "platform/Settings.h"
#include "platform/UserDir.h"
#include "screens/HighScoreTable.h"
#include "support/FakeHost.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kShotName = "voidcrawl-2026-12-06-231502.png";

std::tm ShotTime() {
    std::tm when{};
    when.tm_year = 2026 - 1900, when.tm_mon = 11, when.tm_mday = 6, when.tm_hour = 23, when.tm_min = 15;
    when.tm_sec = 2;
    return when;
}

Bytes FromText(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ---- the writers --------------------------------------------------------

// A game's result `variant` (1 or 2) in a table: both fit in beside what
// the player already has.
HighScoreTable::GameResult ResultOf(int variant) {
    return {variant == 1 ? 70001 : 80002, variant == 1 ? "FIRST" : "SECOND", 100 + variant, 20};
}

Bytes OldTable() {
    HighScoreTable t;
    for (int i = 0; i < 6; ++i) t.Insert(1000 + i * 111, "KEPT", i, i + 1);
    Bytes b(HighScoreTable::kFileBytes);
    t.StoreBytes(b.data());
    return b;
}

Bytes TableWith(const Bytes& old, int variant) {
    HighScoreTable t;
    t.LoadBytes(old.data(), static_cast<int64_t>(old.size()));
    const HighScoreTable::GameResult r = ResultOf(variant);
    t.Insert(r.score, r.name, r.lengthTotal, r.level);
    Bytes b(HighScoreTable::kFileBytes);
    t.StoreBytes(b.data());
    return b;
}

Settings SettingsOf(int variant) {
    Settings s;
    s.volume = variant * 30;
    return s;
}

Bytes SettingsWith(const Bytes& old, int variant) {
    if (old.empty()) return FromText(FormatSettings(SettingsOf(variant)));
    return FromText(
        SetSettingInText(std::string(old.begin(), old.end()), "sound", "volume", std::to_string(variant * 30)));
}

std::vector<uint8_t> PixelsOf(int variant) {
    std::vector<uint8_t> p(kScreenWidth * kScreenHeight);
    for (size_t i = 0; i < p.size(); ++i) p[i] = static_cast<uint8_t>(i * variant / 7);
    return p;
}

const PaletteEntry* Palette() {
    static PaletteEntry palette[256];
    for (int i = 0; i < 256; ++i) palette[i] = PaletteEntry{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 4};
    return palette;
}

Bytes PngOf(int variant) {
    std::vector<uint8_t> png;
    EncodePalettedPng(PixelsOf(variant).data(), kScreenWidth, kScreenHeight, Palette(), &png, nullptr);
    return png;
}

struct Writer {
    const char* name;
    const char* file;  // in the folder
    Bytes (*old)();
    // The complete bytes of save `variant` (1 or 2) over `old`.
    Bytes (*complete)(const Bytes& old, int variant);
    // Saves `variant` into `folder`; false with what the player is told.
    bool (*save)(const fs::path& folder, int variant, std::string* told);
    bool replaces;    // false: a taken name is left alone and a new one used
    bool readsFirst;  // reads the file and saves it changed: never over one it could not read
};

const Writer kWriters[] = {
    {"high-score table", "teasy.dat", OldTable, TableWith,
     [](const fs::path& folder, int variant, std::string* told) {
         const ScopedUserDir user(folder.string());
         HighScoreTable table;
         const HighScoreTable::GameResult r = ResultOf(variant);
         char message[kSaveReasonSize + 512] = "";
         const bool saved = table.AddResults(0, &r, 1, message, sizeof message);
         *told = message;
         return saved;
     },
     true, true},
    {"settings", "settings.ini",
     [] { return FromText("# mine\n" + FormatSettings(SettingsOf(0)) + "[later]\nkept = 1\n"); }, SettingsWith,
     [](const fs::path& folder, int variant, std::string* told) {
         return SaveSettingChanges((folder / "settings.ini").c_str(), Settings{}, SettingsOf(variant), told);
     },
     true, true},
    {"screenshot", kShotName, [] { return PngOf(3); }, [](const Bytes&, int variant) { return PngOf(variant); },
     [](const fs::path& folder, int variant, std::string* told) {
         char path[kMaxUserPath], reason[kSaveReasonSize] = "";
         const bool saved = SaveScreenshot(PixelsOf(variant).data(), Palette(), ShotTime(), folder.c_str(), path,
                                           sizeof path, reason, sizeof reason);
         *told = reason;
         return saved;
     },
     false, false},
    {"screen dump", "ScrDump.raw", [] { return Bytes(PixelsOf(3)); },
     [](const Bytes&, int variant) { return Bytes(PixelsOf(variant)); },
     [](const fs::path& folder, int variant, std::string* told) {
         const ScopedUserDir user(folder.string());
         const std::vector<uint8_t> pixels = PixelsOf(variant);
         std::memcpy(backBuffer->pixels, pixels.data(), pixels.size());
         SaveResult result;
         const bool saved = SaveScreenDump(&result);
         *told = result.reason;
         return saved;
     },
     true, false},
};

// ---- the child process --------------------------------------------------

// Runs `body` in a child process and returns the line it reports ("" when
// all was well). A child that hangs is killed after `seconds` and reported.
template <typename Body>
std::string InChild(Body body, int seconds = 20) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return "no pipe";
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        std::string verdict;
        try {
            verdict = body();
        } catch (const std::exception& e) {  // never back into the test runner from here
            verdict = std::string("threw: ") + e.what();
        }
        if (!verdict.empty()) (void)!write(pipeFds[1], verdict.data(), verdict.size());
        _exit(0);
    }
    close(pipeFds[1]);
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= seconds * 1000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            close(pipeFds[0]);
            return "hung: killed after " + std::to_string(seconds) + " s";
        }
        usleep(10000);
    }
    std::string verdict;
    char buffer[512];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) verdict.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    if (!WIFEXITED(status)) return "the child died: " + verdict;
    return verdict;
}

// A mount namespace of this (child) process's own, so that mounts made in
// it vanish with it. As root a plain one; otherwise inside a user namespace.
bool OwnMounts() {
    if (geteuid() == 0) {
        if (unshare(CLONE_NEWNS) != 0) return false;
    } else {
        const uid_t uid = geteuid();
        const gid_t gid = getegid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
        std::ofstream("/proc/self/setgroups") << "deny";
        std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
        std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    return mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

constexpr const char* kSkip = "skip: ";

// ---- the faults ---------------------------------------------------------

struct Fault {
    const char* name;
    // Makes the fault in `folder` (in the child), the old file `old` at
    // `file` where it belongs. Returns "" or why it could not (kSkip first
    // when the machine cannot make it).
    std::string (*make)(const fs::path& folder, const char* file, const Bytes& old);
    // What the player is told when the save fails ("" where it saves).
    const char* told;
    // Something stands in the file's place that a writer which never
    // replaces simply leaves alone, and one that does not read first may
    // replace when it is a file.
    bool inPlace;
};

std::string PutOld(const fs::path& folder, const char* file, const Bytes& old) {
    fs::create_directories(folder);
    WriteAll(folder / file, old);
    return ReadAll(folder / file) == old ? "" : "could not write the old file";
}

const Fault kFaults[] = {
    {"the folder is missing",
     [](const fs::path& folder, const char*, const Bytes&) {
         return fs::exists(folder) ? std::string("the folder is there") : "";
     },
     "", false},
    {"the folder is read-only",
     [](const fs::path& folder, const char* file, const Bytes& old) {
         std::string put = PutOld(folder, file, old);
         if (!put.empty()) return put;
         if (!OwnMounts() || mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
             mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
             return std::string(kSkip) + "no read-only mount here: " + std::strerror(errno);
         return std::string();
     },
     "Read-only file system", false},
    {"the disk is full",
     [](const fs::path& folder, const char* file, const Bytes& old) {
         fs::create_directories(folder);
         if (!OwnMounts() || mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=512k") != 0)
             return std::string(kSkip) + "no tmpfs mount here: " + std::strerror(errno);
         std::string put = PutOld(folder, file, old);
         if (!put.empty()) return put;
         // Fill what is left, a page at a time, until the disk says no.
         const int fd = open((folder / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
         const std::vector<char> page(4096, 'x');
         while (write(fd, page.data(), page.size()) > 0) {}
         close(fd);
         return std::string();
     },
     "No space left on device", false},
    {"a folder stands in the file's place",
     [](const fs::path& folder, const char* file, const Bytes&) {
         fs::create_directories(folder / file);
         return std::string();
     },
     "it is a folder, not a file", true},
    {"a FIFO stands in the file's place",
     [](const fs::path& folder, const char* file, const Bytes&) {
         fs::create_directories(folder);
         return mkfifo((folder / file).c_str(), 0644) == 0 ? std::string() : std::string("no FIFO");
     },
     "it is a pipe, not a file", true},
    {"the file is a link into another folder",
     [](const fs::path& folder, const char* file, const Bytes& old) {
         std::string put = PutOld(folder / "synced", file, old);
         fs::create_symlink(fs::path("synced") / file, folder / file);
         return put;
     },
     "", false},
    {"the file cannot be read by the game",
     [](const fs::path& folder, const char* file, const Bytes& old) {
         std::string put = PutOld(folder, file, old);
         chmod((folder / file).c_str(), 0);
         if (geteuid() == 0) {
             // Root reads anything: play as nobody, in a folder nobody may write in.
             chmod(folder.c_str(), 0777);
             for (fs::path up = folder.parent_path(); up.string().size() > 5; up = up.parent_path())
                 chmod(up.c_str(), 0755);
             // The saved ids stay root's, so the check after the save can look.
             if (setresgid(65534, 65534, 0) != 0 || setresuid(65534, 65534, 0) != 0)
                 return std::string(kSkip) + "cannot become nobody";
         }
         return put;
     },
     "Permission denied", true},
};

// The outcome: the file (or the file its link names) holds the old bytes
// or the new ones, complete; for a writer that never replaces, the old
// file is untouched and the new one stands beside it. `oldThere`: the old
// file was there, a plain file, before the save.
std::string Check(const Writer& w, const Fault& f, const fs::path& folder, const Bytes& old, bool oldThere, bool saved,
                  const std::string& told) {
    const Bytes fresh = w.complete(oldThere ? old : Bytes{}, 1);
    const bool linked = fs::is_symlink(folder / w.file);
    const fs::path file = linked ? folder / "synced" / w.file : folder / w.file;
    const bool plainFile = f.inPlace && std::string(f.told) == "Permission denied";
    const bool room = f.told[0] == '\0' || (f.inPlace && !w.replaces) || (plainFile && !w.readsFirst);
    std::string problems;
    auto fail = [&](const std::string& what) { problems += (problems.empty() ? "" : "; ") + what; };
    auto bytes = [](const fs::path& p) {
        chmod(p.c_str(), 0644);  // a file this process made may keep a mode it cannot read
        return ReadAll(p);
    };
    if (room) {
        if (!saved) return "not saved: " + told;
        if (w.replaces) {
            if (bytes(file) != fresh) fail("the saved file is not the new bytes");
        } else {
            const std::string stem(w.file, std::strlen(w.file) - 4);
            const bool taken = fs::exists(fs::symlink_status(folder / w.file)) && (oldThere || f.inPlace);
            if (bytes(taken ? folder / (stem + "-2.png") : file) != fresh) fail("the new picture is not whole");
            if (oldThere && !f.inPlace && ReadAll(file) != old) fail("the old picture was touched");
        }
        if (f.inPlace && !plainFile && !fs::exists(fs::symlink_status(folder / w.file)))
            fail("what stood in the file's place is gone");
        if (std::strstr(f.name, "link") != nullptr && !linked) fail("the link was replaced by a file");
        return problems;
    }
    if (saved) return "saved where it should have failed";
    if (told.find(f.told) == std::string::npos) fail("the player was told \"" + told + "\", not why");
    if (oldThere && ReadAll(file) != old) fail("the old bytes are not whole");
    if (f.inPlace && !plainFile && fs::is_regular_file(folder / w.file))
        fail("what stood in the file's place was replaced");
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".voidcrawl-save-") != std::string::npos)
            fail("a temporary file was left");
    return problems;
}

class SaveFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetHost(&host_);
        ASSERT_TRUE(InitDisplay(kScreenWidth, kScreenHeight, 8));
        PaletteEntry palette[256] = {};
        CreateDisplayPalette(palette);
    }
    void TearDown() override {
        ShutdownDisplay();
        SetHost(nullptr);
    }
    FakeHost host_;
};

TEST_F(SaveFaultTest, EveryWriterAgainstEveryFaultKeepsTheOldBytesOrWritesTheNewWholeAndSaysWhy) {
    for (const Writer& w : kWriters) {
        for (const Fault& f : kFaults) {
            SCOPED_TRACE(std::string(w.name) + ": " + f.name);
            TempDir scratch;
            const fs::path folder = scratch.path() / "player" / "voidcrawl";
            const Bytes old = w.old();
            const std::string verdict = InChild([&]() -> std::string {
                const std::string made = f.make(folder, w.file, old);
                if (!made.empty()) return made.rfind(kSkip, 0) == 0 ? made : "the fault: " + made;
                const fs::path where = fs::is_symlink(folder / w.file) ? folder / "synced" / w.file : folder / w.file;
                const bool oldThere = fs::is_regular_file(where);
                std::string told;
                const bool saved = w.save(folder, 1, &told);
                if (getuid() != geteuid() || getuid() == 65534) {
                    (void)!setresuid(0, 0, 0);
                    (void)!setresgid(0, 0, 0);
                }
                return Check(w, f, folder, old, oldThere, saved, told);
            });
            if (verdict.rfind(kSkip, 0) == 0) {
                std::printf("%s: %s: %s\n", w.name, f.name, verdict.c_str());
                continue;
            }
            EXPECT_EQ(verdict, "");
        }
    }
}

// Two copies of the game saving the same file at the same moment, many
// times over: a table keeps both results (each reads the other's under the
// lock), a picture gets a name of its own, and any other file is one of the
// two saves, whole.
TEST_F(SaveFaultTest, TwoProcessesSavingAtOnceLoseNothingAndNeverMixTheirBytes) {
    constexpr int kRounds = 15;
    for (const Writer& w : kWriters) {
        SCOPED_TRACE(w.name);
        TempDir scratch;
        const fs::path folder = scratch.path() / "voidcrawl";
        for (int round = 0; round < kRounds; ++round) {
            fs::remove_all(folder);
            int go[2];
            ASSERT_EQ(pipe(go), 0);
            std::vector<pid_t> children;
            for (int variant = 1; variant <= 2; ++variant) {
                const pid_t pid = fork();
                if (pid == 0) {
                    close(go[1]);
                    char c;
                    (void)!read(go[0], &c, 1);  // both start on the same signal
                    std::string told;
                    _exit(w.save(folder, variant, &told) ? 0 : 1);
                }
                children.push_back(pid);
            }
            close(go[0]);
            close(go[1]);  // go
            int failures = 0;
            for (const pid_t pid : children) {
                int status = 0;
                waitpid(pid, &status, 0);
                failures += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
            }
            ASSERT_EQ(failures, 0) << "round " << round;
            const Bytes one = w.complete({}, 1), two = w.complete({}, 2);
            if (std::string(w.name) == "high-score table") {
                HighScoreTable t;
                t.Load((folder / w.file).c_str(), 0);
                int found = 0;
                for (const HighScoreRecord& r : t.records) found += r.score == 70001 || r.score == 80002;
                ASSERT_EQ(found, 2) << "round " << round << ": a result was lost";
            } else if (!w.replaces) {
                const Bytes a = ReadAll(folder / w.file);
                const Bytes b = ReadAll(folder / "voidcrawl-2026-12-06-231502-2.png");
                ASSERT_TRUE((a == one && b == two) || (a == two && b == one)) << "round " << round;
            } else {
                const Bytes now = ReadAll(folder / w.file);
                ASSERT_TRUE(now == one || now == two) << "round " << round << ": mixed or cut bytes";
            }
            ASSERT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}),
                      std::string(w.name) == "screen dump" || !w.replaces ? 2 : 1)
                << "round " << round << ": temporary files left";
        }
    }
}

// A save clears the temporary files of saves that were killed, and nothing
// else: not a player's file whose name looks like one, not one of a save
// still under way in another process, not a link, a folder or another
// user's file of the very form.
TEST_F(SaveFaultTest, ASaveClearsAKilledSavesTemporaryAndNothingElse) {
    TempDir scratch;
    const fs::path folder = scratch.path() / "voidcrawl";
    fs::create_directories(folder);
    const pid_t live = fork();
    if (live == 0) {
        pause();  // a save under way, as far as its name says
        _exit(0);
    }
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string d = std::to_string(dead), l = std::to_string(live);
    const std::string killed = ".teasy.dat.voidcrawl-save-" + d + "-7";
    const std::vector<std::string> spared = {
        "song.new-2024-12",
        "teasy.dat.new-" + d + "-7",
        ".teasy.dat.voidcrawl-save-" + l + "-0",
        ".teasy.dat.voidcrawl-save-0" + d + "-7",
        ".teasy.dat.voidcrawl-save-" + d + "-07",
        ".teasy.dat.voidcrawl-save-" + d + "-7x",
        ".teasy.dat.voidcrawl-save--7",
        ".voidcrawl-save-" + d + "-7",
        "teasy.dat.voidcrawl-save-" + d + "-7",
    };
    for (const std::string& name : spared) WriteText(folder / name, "mine");
    WriteText(folder / killed, "half a ta");
    fs::create_symlink("song.new-2024-12", folder / (".link.voidcrawl-save-" + d + "-1"));
    fs::create_directories(folder / (".folder.voidcrawl-save-" + d + "-2"));
    const fs::path others = folder / (".others.voidcrawl-save-" + d + "-3");
    WriteText(others, "theirs");
    const bool chowned = geteuid() == 0 && chown(others.c_str(), 65534, 65534) == 0;

    SaveResult result;
    const bool saved = SaveBytes((folder / "teasy.dat").c_str(), "table", 5, &result);
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
    ASSERT_TRUE(saved) << result.reason;
    EXPECT_FALSE(fs::exists(folder / killed));
    for (const std::string& name : spared) EXPECT_EQ(ReadText(folder / name), "mine") << name;
    EXPECT_TRUE(fs::is_symlink(folder / (".link.voidcrawl-save-" + d + "-1")));
    EXPECT_TRUE(fs::is_directory(folder / (".folder.voidcrawl-save-" + d + "-2")));
    EXPECT_EQ(fs::exists(others), chowned);
}

// A replay that finds the disk full makes room: the game's oldest replays
// go (never one behind a table's entry), as many as the new one needs, and
// the save is tried again.
TEST_F(SaveFaultTest, AReplayThatFindsTheDiskFullDeletesTheOldestReplaysAndIsSaved) {
    TempDir scratch;
    const fs::path user = scratch.path() / "voidcrawl", replays = user / kReplayFolder;
    constexpr size_t kOldBytes = 16 * 1024, kNewBytes = 20 * 1024;
    const std::string verdict = InChild([&]() -> std::string {
        fs::create_directories(replays);
        if (!OwnMounts() || mount("tmpfs", replays.c_str(), "tmpfs", 0, "size=256k") != 0)
            return std::string(kSkip) + "no tmpfs mount here: " + std::strerror(errno);
        const ScopedUserDir scoped(user.string());
        // Ten replays, the oldest behind the table's entry.
        for (int i = 0; i < 10; ++i) {
            ReplayHeader h;
            std::snprintf(h.gameVersion, sizeof h.gameVersion, "1.0.0");
            std::snprintf(h.names[0], sizeof h.names[0], "BOB");
            h.level = 3;
            h.scores[0] = 500 + i;
            h.lengthTotals[0] = 30;
            Bytes b(kOldBytes, 0);
            WriteReplayHeader(h, b.data());
            char name[64];
            std::snprintf(name, sizeof name, "20260101-00000%d-00.vcr", i);
            WriteAll(replays / name, b);
            // The game's own, whose results it knows.
            if (!RecordCheckedReplay(name, b.data(), b.size(), h)) return "results not noted";
        }
        HighScoreTable table;
        table.Insert(500, "BOB", 30, 3);
        if (!table.Save(HighScoreTable::FileName(0))) return "no table";
        const int fd = open((replays / "filler").c_str(), O_WRONLY | O_CREAT, 0644);
        const std::vector<char> page(4096, 'x');
        while (write(fd, page.data(), page.size()) > 0) {}
        close(fd);

        const Bytes fresh(kNewBytes, 'n');
        char name[kReplayNameSize] = "";
        SaveResult result;
        if (!SaveReplayFile(fresh.data(), fresh.size(), 1796000000, name, &result))
            return std::string("not saved: ") + result.reason;
        std::string problems;
        if (ReadAll(replays / name) != fresh) problems += "the new replay is not whole; ";
        for (int i = 0; i < 10; ++i) {
            char old[64];
            std::snprintf(old, sizeof old, "20260101-00000%d-00.vcr", i);
            // The oldest is kept by the table; the next two make room.
            if (fs::exists(replays / old) != (i == 0 || i > 2)) problems += std::string(old) + " ";
        }
        // A replay that would not fit were every replay gone costs none of them.
        const Bytes huge(512 * 1024, 'h');
        char other[kReplayNameSize] = "";
        if (SaveReplayFile(huge.data(), huge.size(), 1796000000, other, &result)) problems += "saved the huge one; ";
        if (std::distance(fs::directory_iterator(replays), fs::directory_iterator{}) != 10)
            problems += "replays went for a save that could not fit; ";
        return problems;
    });
    if (verdict.rfind(kSkip, 0) == 0) GTEST_SKIP() << verdict;
    EXPECT_EQ(verdict, "");
}

#if defined(__x86_64__)
bool IsRenameOrLink(long call) {
    return call == SYS_rename || call == SYS_renameat || call == SYS_renameat2 || call == SYS_link ||
           call == SYS_linkat;
}

// Traces a child that runs `save`, kills it at system-call stop `killAt`
// (entries and exits both count; 0: let it finish) and says how many stops
// it saw, whether the file had been put in place when it died, and how the
// child ended. With `refuseLinks` (an errno) every link() fails with it, as
// on a file system without hard links, after `atLink` has run.
struct Traced {
    bool traced = false;
    int stops = 0;
    bool placed = false;
    int refused = 0;
    int exitCode = -1;
};

template <typename Save>
Traced SaveUnderTrace(Save save, int killAt, int refuseLinks = 0, const std::function<void()>& atLink = {}) {
    Traced result;
    const pid_t pid = fork();
    if (pid == 0) {
        if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(3);
        raise(SIGSTOP);
        save();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFSTOPPED(status)) return result;
    result.traced = true;
    ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL));
    bool placing = false, entering = true, refusing = false;
    for (;;) {
        if (ptrace(PTRACE_SYSCALL, pid, nullptr, nullptr) != 0) break;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFEXITED(status) || WIFSIGNALED(status)) return result;
        if (!(WIFSTOPPED(status) && WSTOPSIG(status) == (SIGTRAP | 0x80))) continue;
        ++result.stops;
        user_regs_struct regs{};
        ptrace(PTRACE_GETREGS, pid, nullptr, &regs);
        if (entering) {
            const auto call = static_cast<long>(regs.orig_rax);
            placing = IsRenameOrLink(call);
            refusing = refuseLinks != 0 && (call == SYS_link || call == SYS_linkat);
            if (refusing) {
                if (atLink) atLink();
                regs.orig_rax = static_cast<unsigned long long>(-1);  // the call is skipped
                ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
            }
        } else if (refusing) {
            ++result.refused;
            regs.rax = static_cast<unsigned long long>(-refuseLinks);
            ptrace(PTRACE_SETREGS, pid, nullptr, &regs);
        } else if (placing && static_cast<long>(regs.rax) == 0) {
            result.placed = true;
        }
        entering = !entering;
        if (killAt != 0 && result.stops == killAt) break;
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
}

// Killed at every system call of each writer's save: up to the moment the
// new file takes the old one's place the old bytes are there, from then on
// the new ones, whole; and the next save clears whatever was left behind.
// A writer that never replaces is traced on a file system without hard
// links too, where its claim on the name may be left, empty.
TEST_F(SaveFaultTest, KilledAtEverySystemCallOfEverySaveTheFileStaysWhole) {
    struct Run {
        const Writer& w;
        int refuseLinks;
    };
    std::vector<Run> runs;
    for (const Writer& w : kWriters) {
        runs.push_back({w, 0});
        if (!w.replaces) runs.push_back({w, EPERM});
    }
    for (const auto& [w, refuseLinks] : runs) {
        SCOPED_TRACE(std::string(w.name) + (refuseLinks != 0 ? ", no hard links" : ""));
        TempDir scratch;
        const fs::path folder = scratch.path() / "voidcrawl";
        const Bytes old = w.old();
        auto reset = [&] {
            fs::remove_all(folder);
            if (w.replaces) PutOld(folder, w.file, old);
        };
        auto save = [&] {
            std::string told;
            w.save(folder, 1, &told);
        };
        reset();
        const Traced whole = SaveUnderTrace(save, 0, refuseLinks);
        if (!whole.traced) GTEST_SKIP() << "ptrace is not permitted here";
        ASSERT_TRUE(whole.placed) << "the save never put its file in place";
        ASSERT_EQ(whole.refused > 0, refuseLinks != 0);
        const Bytes fresh = w.complete(old, 1);
        int before = 0, after = 0;
        for (int k = 1; k < whole.stops; ++k) {
            reset();
            const Traced cut = SaveUnderTrace(save, k, refuseLinks);
            const Bytes now = ReadAll(folder / w.file);
            if (cut.placed) {
                ++after;
                ASSERT_EQ(now, fresh) << "killed at stop " << k << " of " << whole.stops;
            } else {
                ++before;
                ASSERT_EQ(now, w.replaces ? old : Bytes{}) << "killed at stop " << k << " of " << whole.stops;
            }
        }
        EXPECT_GT(before, 4);  // the open, write, sync and close come before
        EXPECT_GE(after, 1);
        // What a killed save left is cleared by the next one.
        reset();
        SaveUnderTrace(save, whole.stops / 2, refuseLinks);
        std::string told;
        if (w.replaces) {
            ASSERT_TRUE(w.save(folder, 2, &told)) << told;
            for (const auto& entry : fs::directory_iterator(folder))
                EXPECT_EQ(entry.path().filename().string().find(".voidcrawl-save-"), std::string::npos) << entry.path();
        }
    }
}

// A file system without hard links (FAT, the browser's memory), in each of
// the ways systems refuse link(): a free name is claimed and the save lands
// whole; a name someone takes just then is kept as it is, and said taken.
// Nothing else is left in the folder either way.
TEST_F(SaveFaultTest, WithoutHardLinksAFreeNameIsClaimedAndATakenOneKept) {
    const Bytes mine = PixelsOf(1), theirs = FromText("another copy's replay");
    for (const int refused : {EPERM, EMLINK, EOPNOTSUPP, ENOSYS}) {
        for (const bool takenMeanwhile : {false, true}) {
            SCOPED_TRACE(std::string(std::strerror(refused)) + (takenMeanwhile ? ", name taken meanwhile" : ""));
            TempDir scratch;
            const fs::path folder = scratch.path() / "replays", file = folder / "20261208-093000-00.vcr";
            fs::create_directories(folder);
            const Traced t = SaveUnderTrace(
                [&] {
                    SaveResult r;
                    const bool saved = SaveBytes(file.c_str(), mine.data(), mine.size(), &r, kSaveKeepExisting);
                    _exit(saved ? 0 : r.nameTaken ? 2 : 1);
                },
                0, refused, [&] { return takenMeanwhile ? WriteAll(file, theirs) : void(); });
            if (!t.traced) GTEST_SKIP() << "ptrace is not permitted here";
            EXPECT_GT(t.refused, 0);
            EXPECT_EQ(t.exitCode, takenMeanwhile ? 2 : 0);
            EXPECT_EQ(ReadAll(file), takenMeanwhile ? theirs : mine);
            EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
        }
    }
}
#endif  // system call tracing is written for x86-64

}  // namespace
