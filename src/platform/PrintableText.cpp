#include "platform/PrintableText.h"

namespace {

// How many bytes from `p` (of `left`) make one printable character; 0 when
// the byte at `p` is a control or not the start of well-formed UTF-8.
size_t PrintableLength(const unsigned char* p, size_t left) {
    const unsigned char c = p[0];
    if (c < 0x20 || c == 0x7F) return 0;
    if (c < 0x80) return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        if (c == 0xC2) low = 0xA0;  // U+0080..U+009F are the C1 controls
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;   // no overlong forms
        if (c == 0xED) high = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF) return 0;
    return length;
}

}  // namespace

void CopyPrintable(const char* text, char* out, size_t outSize) {
    if (out == nullptr || outSize == 0) return;
    size_t used = 0;
    if (text != nullptr) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
        size_t left = 0;
        while (p[left] != 0) ++left;
        while (left > 0) {
            const size_t n = PrintableLength(p, left);
            const size_t take = n > 0 ? n : 1;
            if (used + take >= outSize) break;
            if (n == 0) {
                out[used++] = '?';
            } else {
                for (size_t i = 0; i < n; ++i) out[used++] = static_cast<char>(p[i]);
            }
            p += take;
            left -= take;
        }
    }
    out[used] = '\0';
}

std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t left = text.size();
    while (left > 0) {
        const size_t n = PrintableLength(p, left);
        if (n == 0) {
            out += '?';
            ++p, --left;
        } else {
            out.append(reinterpret_cast<const char*>(p), n);
            p += n, left -= n;
        }
    }
    return out;
}

std::string PrintableQuoted(const std::string& text) { return "\"" + Printable(text) + "\""; }
