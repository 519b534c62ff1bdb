#pragma once
#include <cstddef>
#include <cstdint>

// The 64-bit FNV-1a hash the replays use for state and data.
class Fnv64 {
public:
    void Byte(uint8_t b) { value_ = (value_ ^ b) * 1099511628211ull; }
    void Bytes(const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) Byte(p[i]);
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) Byte(static_cast<uint8_t>(v >> (8 * i)));
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    uint64_t Value() const { return value_; }

private:
    uint64_t value_ = 14695981039346656037ull;
};
