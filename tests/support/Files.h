#pragma once
// Whole files as bytes, and a scratch folder that is the working folder for
// its lifetime.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
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
