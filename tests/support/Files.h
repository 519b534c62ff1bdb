#pragma once
// Whole files as bytes, and a scratch folder that is the working folder for
// its lifetime; what a call says on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Writes `v` little-endian in the `n` bytes at `at`, when they lie in `b`.
inline void Put(Bytes& b, size_t at, uint32_t v, int n = 4) {
    for (int i = 0; i < n && at + n <= b.size(); ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void WriteAll(const std::filesystem::path& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline std::string ReadText(const std::filesystem::path& path) {
    const Bytes b = ReadAll(path);
    return std::string(b.begin(), b.end());
}
inline void WriteText(const std::filesystem::path& path, const std::string& s) {
    WriteAll(path, Bytes(s.begin(), s.end()));
}

// What `run` says on stderr.
inline std::string Said(const std::function<void()>& run) {
    testing::internal::CaptureStderr();
    run();
    return testing::internal::GetCapturedStderr();
}

// A scratch folder of its own under /tmp for the length of a scope; every
// test that needs one makes it here.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/vc-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return dir_; }
    std::string operator/(const std::string& name) const { return (dir_ / name).string(); }

private:
    std::filesystem::path dir_;
};

// A scratch folder that is also the working folder for its lifetime.
class TempDir {
public:
    TempDir() : old_(std::filesystem::current_path()) { std::filesystem::current_path(scratch_.path()); }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
    }
    const std::filesystem::path& path() const { return scratch_.path(); }

private:
    std::filesystem::path old_;
    ScratchDir scratch_;
};

// Sets an environment variable (null: unsets it) for one scope.
class EnvScope {
public:
    EnvScope(const char* name, const char* value) : name_(name), had_(std::getenv(name) != nullptr) {
        if (had_) before_ = std::getenv(name);
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~EnvScope() { had_ ? setenv(name_, before_.c_str(), 1) : unsetenv(name_); }
    EnvScope(const EnvScope&) = delete;
    EnvScope& operator=(const EnvScope&) = delete;

private:
    const char* name_;
    bool had_;
    std::string before_;
};
