#pragma once

// Calls of the cipher's C functions with std::string arguments, and folder listings.

#include "crypt/file_cipher.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace crypt_testing {

inline bool Enc(std::string src, std::string dst, std::string pw)
{
    int option = 1;
    return Encrypt(src.data(), dst.data(), pw.data(), &option) != 0;
}

inline bool Dec(std::string src, std::string dst, std::string pw)
{
    int option = 1;
    return Decrypt(src.data(), dst.data(), pw.data(), &option) != 0;
}

/// Bytes that do not repeat within a chunk, so a misplaced chunk shows.
inline std::vector<std::uint8_t> Bytes(std::size_t n, std::uint32_t seed = 1)
{
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : v) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        b = static_cast<std::uint8_t>(x);
    }
    return v;
}

inline std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace cipher_testing
