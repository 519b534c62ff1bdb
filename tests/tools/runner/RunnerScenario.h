#pragma once
// Shared by the runner's scenario tests: a small JSON reader for the state
// files, PNG reading, and a fixture that runs the real voidcrawl-headless
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
#include <memory>
#include <set>
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
    bool Has(const std::string& key) const { return members.count(key) != 0; }
    int Int() const { return static_cast<int>(number); }
    // A number written from a 32-bit float reads back as that float.
    float Float() const { return static_cast<float>(number); }
    std::vector<int> Ints() const {
        std::vector<int> out;
        for (const Json& j : items) out.push_back(j.Int());
        return out;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& s) : s_(s) {}
    bool Parse(Json* out) {
        if (!ParseValue(out)) return false;
        SkipSpace();
        return pos_ == s_.size();
    }

private:
    void SkipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    bool Literal(const char* word) {
        size_t n = std::strlen(word);
        if (s_.compare(pos_, n, word) != 0) return false;
        pos_ += n;
        return true;
    }
    bool ParseString(std::string* out) {
        if (s_[pos_] != '"') return false;
        ++pos_;
        while (pos_ < s_.size() && s_[pos_] != '"') {
            char c = s_[pos_++];
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            char e = s_[pos_++];
            switch (e) {
                case 'n': *out += '\n'; break;
                case 't': *out += '\t'; break;
                case 'r': *out += '\r'; break;
                case 'b': *out += '\b'; break;
                case 'f': *out += '\f'; break;
                case 'u': {
                    if (pos_ + 4 > s_.size()) return false;
                    *out += static_cast<char>(std::stoi(s_.substr(pos_, 4), nullptr, 16));
                    pos_ += 4;
                    break;
                }
                default: *out += e;
            }
        }
        if (pos_ >= s_.size()) return false;
        ++pos_;
        return true;
    }
    bool ParseValue(Json* out) {
        SkipSpace();
        if (pos_ >= s_.size()) return false;
        char c = s_[pos_];
        if (c == '{') {
            out->kind = Json::Object;
            ++pos_;
            SkipSpace();
            if (s_[pos_] == '}') return ++pos_, true;
            for (;;) {
                SkipSpace();
                std::string key;
                if (!ParseString(&key)) return false;
                SkipSpace();
                if (s_[pos_++] != ':') return false;
                if (!ParseValue(&out->members[key])) return false;
                SkipSpace();
                if (s_[pos_] == ',') { ++pos_; continue; }
                if (s_[pos_] == '}') return ++pos_, true;
                return false;
            }
        }
        if (c == '[') {
            out->kind = Json::Array;
            ++pos_;
            SkipSpace();
            if (s_[pos_] == ']') return ++pos_, true;
            for (;;) {
                out->items.emplace_back();
                if (!ParseValue(&out->items.back())) return false;
                SkipSpace();
                if (s_[pos_] == ',') { ++pos_; continue; }
                if (s_[pos_] == ']') return ++pos_, true;
                return false;
            }
        }
        if (c == '"') {
            out->kind = Json::String;
            return ParseString(&out->text);
        }
        if (Literal("true")) { out->kind = Json::Bool; out->boolean = true; return true; }
        if (Literal("false")) { out->kind = Json::Bool; out->boolean = false; return true; }
        if (Literal("null")) { out->kind = Json::Null; return true; }
        char* end = nullptr;
        out->number = std::strtod(s_.c_str() + pos_, &end);
        if (end == s_.c_str() + pos_) return false;
        out->kind = Json::Number;
        pos_ = static_cast<size_t>(end - s_.c_str());
        return true;
    }

    const std::string& s_;
    size_t pos_ = 0;
};

inline std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

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

// Each test gets its own copy of the data set ("data") and its own working
// directory ("work") that the runner is started in.
class RunnerScenario : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ = fs::path(::testing::TempDir()) /
                (std::string("vc_runner_") + info->test_suite_name() + "_" + info->name() + "_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "work");
        fs::copy(VC_DATA_DIR, root_ / "data", fs::copy_options::recursive);
        fs::remove(root_ / "data" / ".stamp");
        // Every test starts without high scores, whatever the data set holds.
        for (const char* table : {"teasy.dat", "tmed.dat", "thard.dat"}) fs::remove(root_ / "data" / table);
    }
    void TearDown() override {
        if (!HasFailure()) fs::remove_all(root_);
    }

    fs::path Data() const { return root_ / "data"; }
    fs::path Work() const { return root_ / "work"; }

    RunResult Run(const std::string& script, const std::string& extraArgs = "") {
        std::string args = extraArgs;
        if (args.find("--data") == std::string::npos) args += " --data '" + Data().string() + "'";
        if (!script.empty()) {
            std::ofstream(Work() / "script.txt") << script;
            args += " --script script.txt";
        }
        return RunArgs(args);
    }

    RunResult RunArgs(const std::string& args) {
        const fs::path outFile = root_ / "stdout.txt";
        const fs::path errFile = root_ / "stderr.txt";
        std::string command = "cd '" + Work().string() + "' && '" VC_RUNNER "' " + args + " >'" +
                              outFile.string() + "' 2>'" + errFile.string() + "'";
        int raw = std::system(command.c_str());
        RunResult result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = ReadFile(outFile);
        result.err = ReadFile(errFile);
        return result;
    }

    Json State(const std::string& name) {
        Json json;
        const std::string text = ReadFile(Work() / name);
        EXPECT_FALSE(text.empty()) << name << " missing or empty";
        JsonReader reader(text);
        EXPECT_TRUE(reader.Parse(&json)) << name << " is not JSON:\n" << text;
        return json;
    }

    fs::path root_;
};

// ---- level files ---------------------------------------------------------------

// A level as a test writes it: the map has 14 rows of 20 cells, '#' a wall,
// '1' and '2' the start cells, anything else free.
struct TestLevel {
    std::string title = "TEST LEVEL";
    std::string background = "grafik\\Nebula1.dat";
    int32_t target = 10;
    int32_t chanceA = 30, chanceB = 30, chanceC = 30;
    int32_t foodCount = 8;
    std::vector<std::string> map;
};

// The 1456 bytes of a level file: names, the nine numbers little-endian,
// then the wall flags column by column.
inline std::string LevelFileBytes(const TestLevel& level) {
    std::string bytes(1456, '\0');
    std::memcpy(&bytes[0], level.background.data(), std::min<size_t>(level.background.size(), 149));
    std::memcpy(&bytes[150], level.title.data(), std::min<size_t>(level.title.size(), 149));
    auto put = [&bytes](size_t offset, int32_t v) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xFF);
    };
    int32_t start[4] = {0, 0, 0, 0};
    for (int y = 0; y < 14 && y < static_cast<int>(level.map.size()); ++y) {
        for (int x = 0; x < 20 && x < static_cast<int>(level.map[y].size()); ++x) {
            const char c = level.map[y][x];
            if (c == '#') put(336 + 4 * (x * 14 + y), 1);
            if (c == '1') start[0] = x, start[1] = y;
            if (c == '2') start[2] = x, start[3] = y;
        }
    }
    const int32_t numbers[9] = {level.target, level.chanceA, level.chanceB, level.chanceC, level.foodCount,
                                start[0],     start[1],      start[2],      start[3]};
    for (int i = 0; i < 9; ++i) put(300 + 4 * i, numbers[i]);
    return bytes;
}

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

// Item centres once the menu has slid in (rows 120, 185, 250, 345, 410).
const int kItemX[5] = {225, 222, 197, 272, 270};
const int kItemY[5] = {120, 185, 250, 345, 410};
const int kItemW[5] = {191, 196, 246, 96, 101};
const int kItemH[5] = {61, 62, 91, 60, 65};

inline std::string Mouse(int frame, int x, int y) {
    return std::to_string(frame) + " mouse " + std::to_string(x) + " " + std::to_string(y) + "\n";
}
inline std::string MouseOnItem(int frame, int k) {
    return Mouse(frame, kItemX[k] + kItemW[k] / 2, kItemY[k] + kItemH[k] / 2);
}

}  // namespace runner_test
