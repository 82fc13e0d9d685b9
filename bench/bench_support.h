#pragma once

// Shared by the benchmark programs: the 12-megapixel test photo and the files made from it.

#include "codec/ximage.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace bench {

inline std::string BenchFile(const std::string& name)
{
    return std::string(PELMORA_BENCH_DIR) + "/" + name;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

/// Smooth gradients plus grain, for machines without the tools that make the real photo.
inline codec::CxImage SyntheticPhoto(std::uint32_t width = 4000, std::uint32_t height = 3000)
{
    codec::CxImage image(width, height, 24);
    std::mt19937 random(7);
    std::normal_distribution<float> grain(0.0f, 6.0f);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* p = image.Row(y);
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            const float base[3]
                = { 255.0f * x / width, 255.0f * y / height, 128.0f + 100.0f * ((x + y) % 997) / 997.0f - 50.0f };
            for (int c = 0; c < 3; ++c) {
                const float v = base[c] + grain(random);
                p[c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return image;
}

/// The 4000x3000 photo made at build time (photo.ppm), or the synthetic one without it.
inline const codec::CxImage& Photo()
{
    static const codec::CxImage photo = [] {
        const std::vector<std::uint8_t> d = ReadBytes(BenchFile("photo.ppm"));
        const std::string head(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(d.size(), 64)));
        unsigned width = 0, height = 0, maxval = 0;
        int header = 0;
        if (std::sscanf(head.c_str(), "P6 %u %u %u%n", &width, &height, &maxval, &header) == 3 && maxval == 255
            && d.size() >= header + 1 + std::size_t { width } * height * 3) {
            codec::CxImage image(width, height, 24);
            std::copy(d.begin() + header + 1, d.begin() + header + 1 + image.Pixels().size(), image.Pixels().begin());
            return image;
        }
        std::fprintf(stderr, "no %s: using a synthetic picture\n", BenchFile("photo.ppm").c_str());
        return SyntheticPhoto();
    }();
    return photo;
}

} // namespace bench
