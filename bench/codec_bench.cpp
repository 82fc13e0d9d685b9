// The codec's format kernels on a 12-megapixel photo: decode from and encode to memory.
// Decoders read the files made at build time, the same ones bench/peers.sh gives the peer tools.
#include "bench_support.h"

#include "codec/formats/format.h"

#include <benchmark/benchmark.h>

namespace {

using Decoder = codec::Result (*)(codec::ByteView, const codec::DecodeLimits&, codec::CxImage&);
using Encoder = codec::Result (*)(const codec::CxImage&, std::vector<std::uint8_t>&);

// The file made at build time, or our own encoding of the photo without it.
const std::vector<std::uint8_t>& EncodedPhoto(const char* name, Encoder encode)
{
    static std::vector<std::uint8_t> files[2];
    std::vector<std::uint8_t>& bytes = files[encode == codec::PngEncode ? 1 : 0];
    if (bytes.empty()) {
        bytes = bench::ReadBytes(bench::BenchFile(name));
        if (bytes.empty())
            encode(bench::Photo(), bytes);
    }
    return bytes;
}

void SetPixelRate(benchmark::State& state, const codec::CxImage& image)
{
    state.counters["Mpixel/s"] = benchmark::Counter(
        static_cast<double>(image.GetWidth()) * image.GetHeight() / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void Decode(benchmark::State& state, const char* name, Decoder decode, Encoder encode)
{
    const std::vector<std::uint8_t>& bytes = EncodedPhoto(name, encode);
    codec::CxImage image; // reused: decoding into it again keeps its pixel buffer
    for (auto _ : state) {
        if (codec::Result r = decode(bytes, codec::DefaultLimits(), image); !r) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        benchmark::DoNotOptimize(image.Pixels().data());
    }
    SetPixelRate(state, image);
    state.counters["file MB"] = static_cast<double>(bytes.size()) / 1e6;
}

void Encode(benchmark::State& state, Encoder encode)
{
    const codec::CxImage& photo = bench::Photo();
    std::vector<std::uint8_t> out; // reused across iterations
    for (auto _ : state) {
        if (codec::Result r = encode(photo, out); !r) {
            state.SkipWithError(r.message.c_str());
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    SetPixelRate(state, photo);
    state.counters["file MB"] = static_cast<double>(out.size()) / 1e6;
}

void JpegDecode(benchmark::State& state)
{
    Decode(state, "photo.jpg", codec::JpegDecode, codec::JpegEncode);
}
void JpegEncode(benchmark::State& state)
{
    Encode(state, codec::JpegEncode);
}
void PngDecode(benchmark::State& state)
{
    Decode(state, "photo.png", codec::PngDecode, codec::PngEncode);
}
void PngEncode(benchmark::State& state)
{
    Encode(state, codec::PngEncode);
}

} // namespace

BENCHMARK(JpegDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(JpegEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PngDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(PngEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
