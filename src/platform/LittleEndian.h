#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Reading and writing the little-endian numbers of the game's files, byte by
// byte, whatever the machine's own order.
template <typename T>
T ReadLittleEndian(const uint8_t* p) {
    using U = std::make_unsigned_t<T>;
    U v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | (static_cast<U>(p[i]) << (8 * i)));
    return static_cast<T>(v);
}

template <typename T>
void WriteLittleEndian(uint8_t* p, T value) {
    using U = std::make_unsigned_t<T>;
    const U v = static_cast<U>(value);
    for (size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
