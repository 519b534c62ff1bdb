#pragma once
// Whole files as bytes, and a scratch folder that is the working folder for
// its lifetime.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class TempDir {
public:
    TempDir() : old_(std::filesystem::current_path()) {
        char pattern[] = "/tmp/vc-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        std::filesystem::current_path(dir_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::current_path(old_, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    const std::filesystem::path& path() const { return dir_; }

private:
    std::filesystem::path old_, dir_;
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
