#pragma once

// GIF streams built byte by byte, for the decoder's and the animation's tests.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace gif_bytes {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& b, const Bytes& more)
{
    b.insert(b.end(), more.begin(), more.end());
}

inline void Word(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v & 0xFF));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

/// Header, screen descriptor and a two-colour global table (black, white).
inline Bytes Header(std::uint32_t w, std::uint32_t h, const char* version = "89a")
{
    Bytes b = { 'G', 'I', 'F' };
    b.insert(b.end(), version, version + 3);
    Word(b, w);
    Word(b, h);
    Append(b, { 0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF });
    return b;
}

inline Bytes Gce(std::uint32_t delay, std::uint32_t disposal = 0, int transparent = -1)
{
    Bytes b = { 0x21, 0xF9, 4, static_cast<std::uint8_t>((disposal << 2) | (transparent >= 0 ? 1 : 0)) };
    Word(b, delay);
    b.push_back(static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0));
    b.push_back(0);
    return b;
}

/// An image of one colour index (0 or 1) with a 2-bit LZW stream: clear, index..., end.
inline Bytes Image(std::uint32_t left, std::uint32_t top, std::uint32_t w, std::uint32_t h, std::uint8_t index = 1)
{
    Bytes b = { 0x2C };
    Word(b, left);
    Word(b, top);
    Word(b, w);
    Word(b, h);
    b.push_back(0);
    b.push_back(2); // LZW minimum code size
    // Codes of 3 bits (minimum size 2, plus one): a clear code before every pair of pixels keeps
    // the table from growing, so the width never changes.
    std::vector<std::uint8_t> data;
    std::uint32_t acc = 0, bits = 0;
    auto putCode = [&](std::uint32_t code) {
        acc |= code << bits;
        bits += 3;
        while (bits >= 8) {
            data.push_back(static_cast<std::uint8_t>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (std::uint32_t i = 0; i < w * h; ++i) {
        if (i % 2 == 0)
            putCode(4);
        putCode(index);
    }
    putCode(5);
    if (bits)
        data.push_back(static_cast<std::uint8_t>(acc & 0xFF));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        b.push_back(static_cast<std::uint8_t>(n));
        b.insert(b.end(), data.begin() + at, data.begin() + at + n);
    }
    b.push_back(0);
    return b;
}

inline Bytes Comment(const std::string& text)
{
    Bytes b = { 0x21, 0xFE, static_cast<std::uint8_t>(text.size()) };
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0);
    return b;
}

inline Bytes Looping()
{
    Bytes b = { 0x21, 0xFF, 11 };
    const char* id = "NETSCAPE2.0";
    b.insert(b.end(), id, id + 11);
    Append(b, { 3, 1, 0, 0, 0 });
    return b;
}

} // namespace gif_bytes
