#pragma once
// Shared by the runner's tests: a small JSON reader for the state files, PNG
// reading, level files, and a fixture that runs the real voidcrawl-headless
// binary on a private copy of the generated data set.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace runner_test {

namespace fs = std::filesystem;

// ---- a small JSON reader for the state files -------------------------------

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing;
        auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
    int Int() const { return static_cast<int>(number); }
    // A number written from a 32-bit float reads back as that float.
    float Float() const { return static_cast<float>(number); }
    std::vector<int> Ints() const {
        std::vector<int> out;
        for (const Json& j : items) out.push_back(j.Int());
        return out;
    }
};

// Parses `s` from `*p`; false on malformed text. \u escapes give one byte.
inline bool ParseJson(const std::string& s, size_t* p, Json* out) {
    auto space = [&] { while (*p < s.size() && std::isspace(static_cast<unsigned char>(s[*p]))) ++*p; };
    auto at = [&](char c) { space(); return *p < s.size() && s[*p] == c && (++*p, true); };
    auto string = [&](std::string* t) {
        if (!at('"')) return false;
        for (; *p < s.size() && s[*p] != '"'; ++*p) {
            if (s[*p] != '\\') { *t += s[*p]; continue; }
            const char e = s[++*p];
            const char* plain = std::strchr("n\nt\tr\rb\bf\f", e);
            if (e == 'u') *t += static_cast<char>(std::stoi(s.substr(*p + 1, 4), nullptr, 16)), *p += 4;
            else *t += plain ? plain[1] : e;
        }
        return *p < s.size() && (++*p, true);
    };
    space();
    if (at('{')) {
        out->kind = Json::Object;
        if (at('}')) return true;
        do {
            std::string key;
            if (!string(&key) || !at(':') || !ParseJson(s, p, &out->members[key])) return false;
        } while (at(','));
        return at('}');
    }
    if (at('[')) {
        out->kind = Json::Array;
        if (at(']')) return true;
        do {
            out->items.emplace_back();
            if (!ParseJson(s, p, &out->items.back())) return false;
        } while (at(','));
        return at(']');
    }
    if (*p < s.size() && s[*p] == '"') return out->kind = Json::String, string(&out->text);
    for (const char* word : {"true", "false", "null"}) {
        if (s.compare(*p, std::strlen(word), word) != 0) continue;
        *p += std::strlen(word);
        out->kind = word[0] == 'n' ? Json::Null : Json::Bool;
        out->boolean = word[0] == 't';
        return true;
    }
    char* end = nullptr;
    out->number = std::strtod(s.c_str() + *p, &end);
    if (end == s.c_str() + *p) return false;
    *p = static_cast<size_t>(end - s.c_str());
    out->kind = Json::Number;
    return true;
}

inline Json ParseJsonText(const std::string& text) {
    Json json;
    size_t p = 0;
    const bool ok = ParseJson(text, &p, &json);
    while (p < text.size() && std::isspace(static_cast<unsigned char>(text[p]))) ++p;
    EXPECT_TRUE(ok && p == text.size()) << "not JSON:\n" << text;
    return json;
}

// The value at a dotted path such as "match.names.0".
inline const Json& At(const Json& j, const std::string& path) {
    static const Json missing;
    const size_t dot = path.find('.');
    const std::string key = path.substr(0, dot);
    const Json* next = &j[key];
    if (j.kind == Json::Array) next = std::stoul(key) < j.items.size() ? &j.items[std::stoul(key)] : &missing;
    return dot == std::string::npos ? *next : At(*next, path.substr(dot + 1));
}

// Expects each dotted path to hold a number or a boolean (as 0 or 1) equal
// to the one given.
inline void ExpectValues(const Json& j, const std::vector<std::pair<std::string, double>>& want,
                         const std::string& what = "") {
    for (const auto& [path, value] : want) {
        const Json& v = At(j, path);
        EXPECT_TRUE(v.kind == Json::Number || v.kind == Json::Bool) << what << " " << path << " missing";
        EXPECT_EQ(v.kind == Json::Bool ? v.boolean : v.number, value) << what << " " << path;
    }
}

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

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
        RemoveTables();
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(root_);
    }
    void RemoveTables() {
        for (const char* table : {"teasy.dat", "tmed.dat", "thard.dat"}) fs::remove(Data() / table);
    }

    fs::path Data() const { return root_ / "data"; }
    fs::path Work() const { return root_ / "work"; }

    RunResult Run(const std::string& script, const std::string& extraArgs = "") {
        std::string args = extraArgs + " --data '" + Data().string() + "'";
        if (!script.empty()) {
            std::ofstream(Work() / "script.txt") << script;
            args += " --script script.txt";
        }
        return RunArgs(args);
    }

    RunResult RunArgs(const std::string& args) {
        const fs::path outFile = root_ / "stdout.txt", errFile = root_ / "stderr.txt";
        const std::string command = "cd '" + Work().string() + "' && '" VC_RUNNER "' " + args + " >'" +
                                    outFile.string() + "' 2>'" + errFile.string() + "'";
        const int raw = std::system(command.c_str());
        return RunResult{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(outFile), ReadFile(errFile)};
    }

    Json State(const std::string& name) {
        const std::string text = ReadFile(Work() / name);
        EXPECT_FALSE(text.empty()) << name << " missing or empty";
        return ParseJsonText(text);
    }

    fs::path root_;
};

// ---- level files ---------------------------------------------------------------

// A level as a test writes it: the map has 14 rows of 20 cells, '#' a wall,
// '1' and '2' the start cells, anything else free.
struct TestLevel {
    std::string title = "TEST LEVEL";
    int32_t target = 10;
    int32_t chanceA = 30, chanceB = 30, chanceC = 30;
    int32_t foodCount = 8;
    std::vector<std::string> map;
};

inline void PutInt32(std::string* bytes, size_t offset, int32_t v) {
    for (int i = 0; i < 4; ++i) (*bytes)[offset + i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
}

// The 1456 bytes of a level file: names, the nine numbers little-endian,
// then the wall flags column by column.
inline std::string LevelFileBytes(const TestLevel& level) {
    std::string bytes(1456, '\0');
    const std::string background = "grafik\\Arena0.dat";  // level 1's picture: open space
    std::memcpy(&bytes[0], background.data(), background.size());
    std::memcpy(&bytes[150], level.title.data(), std::min<size_t>(level.title.size(), 149));
    int32_t start[4] = {0, 0, 0, 0};
    for (int y = 0; y < 14 && y < static_cast<int>(level.map.size()); ++y) {
        for (int x = 0; x < 20 && x < static_cast<int>(level.map[y].size()); ++x) {
            const char c = level.map[y][x];
            if (c == '#') PutInt32(&bytes, 336 + 4 * (x * 14 + y), 1);
            if (c == '1') start[0] = x, start[1] = y;
            if (c == '2') start[2] = x, start[3] = y;
        }
    }
    const int32_t numbers[9] = {level.target, level.chanceA, level.chanceB, level.chanceC, level.foodCount,
                                start[0],     start[1],      start[2],      start[3]};
    for (int i = 0; i < 9; ++i) PutInt32(&bytes, 300 + 4 * i, numbers[i]);
    return bytes;
}

// ---- scripts -------------------------------------------------------------------

// The centres of the menu items, all at x 320, once the menu has slid in.
const int kItemY[5] = {150, 216, 295, 375, 442};
const int kMenuReady = 150;

inline std::string Mouse(int frame, int x, int y) {
    return std::to_string(frame) + " mouse " + std::to_string(x) + " " + std::to_string(y) + "\n";
}
inline std::string MouseOnItem(int frame, int k) { return Mouse(frame, 320, kItemY[k]); }
// The pointer moves at `frame`, the button goes down on the next pass and up
// two passes later; the screens see the press on the pass after it.
inline std::string Click(int frame, int x, int y) {
    return Mouse(frame, x, y) + std::to_string(frame + 1) + " press lmb\n" + std::to_string(frame + 3) +
           " release lmb\n";
}
inline std::string ClickItem(int frame, int k) { return Click(frame, 320, kItemY[k]); }
// One key a pass, each released on the next.
inline std::string Type(int frame, const std::string& keys) {
    std::string s;
    for (char c : keys) {
        s += std::to_string(frame) + " press " + c + "\n" + std::to_string(frame + 1) + " release " + c + "\n";
        frame += 2;
    }
    return s;
}

}  // namespace runner_test
