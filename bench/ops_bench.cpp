// Pixel operations on a 12-megapixel photo-sized image.

#include "codec/ximage.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr std::uint32_t kWidth = 4000;
constexpr std::uint32_t kHeight = 3000;

// Smooth colour with some texture, so quantising has thousands of colours to deal with.
const codec::CxImage& Photo()
{
    static const codec::CxImage image = [] {
        codec::CxImage img(kWidth, kHeight, 24);
        std::uint32_t noise = 12345;
        for (std::uint32_t y = 0; y < kHeight; ++y) {
            std::uint8_t* row = img.Row(y);
            for (std::uint32_t x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = static_cast<int>((noise >> 24) & 7) - 4;
                const double luma
                    = 120 + 70 * std::sin(x / 230.0) * std::cos(y / 310.0) + 35 * std::sin((x + 2.0 * y) / 570.0);
                const double u = 30 * std::sin(x / 600.0 + 1), v = 25 * std::cos(y / 450.0 - x / 900.0);
                const double rgb[3] = { luma + 1.4 * v, luma - 0.34 * u - 0.71 * v, luma + 1.77 * u };
                for (int c = 0; c < 3; ++c) {
                    const int q = static_cast<int>(rgb[c]) + n;
                    row[x * 3 + c] = static_cast<std::uint8_t>(q < 0 ? 0 : q > 255 ? 255 : q);
                }
            }
        }
        return img;
    }();
    return image;
}

void ResampleTo800(benchmark::State& state, int interpolation)
{
    const codec::CxImage& src = Photo();
    codec::CxImage copy = src;
    codec::CxImage dest(800, 600, 24);
    for (auto _ : state) {
        if (!copy.Resample2(800, 600, interpolation, codec::kOverflowRepeat, &dest))
            state.SkipWithError(copy.GetLastError());
        benchmark::DoNotOptimize(dest.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kWidth) * kHeight);
}

void BM_Resample2Nearest_4000x3000_to_800(benchmark::State& state)
{
    ResampleTo800(state, codec::kInterpolationNearest);
}
void BM_Resample2Bicubic_4000x3000_to_800(benchmark::State& state)
{
    ResampleTo800(state, codec::kInterpolationBicubic);
}

void BM_DecreaseBpp8Diffused_4000x3000(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        codec::CxImage img = Photo();
        state.ResumeTiming();
        if (!img.DecreaseBpp(8, true))
            state.SkipWithError(img.GetLastError());
        benchmark::DoNotOptimize(img.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kWidth) * kHeight);
}

void BM_RotateRight_4000x3000(benchmark::State& state)
{
    const codec::CxImage& src = Photo();
    codec::CxImage copy = src;
    codec::CxImage dest;
    for (auto _ : state) {
        if (!copy.RotateRight(&dest))
            state.SkipWithError(copy.GetLastError());
        benchmark::DoNotOptimize(dest.Pixels().data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kWidth) * kHeight);
}

} // namespace

BENCHMARK(BM_Resample2Nearest_4000x3000_to_800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resample2Bicubic_4000x3000_to_800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecreaseBpp8Diffused_4000x3000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RotateRight_4000x3000)->Unit(benchmark::kMillisecond);
