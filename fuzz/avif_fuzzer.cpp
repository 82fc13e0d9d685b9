// Fuzz target for the AVIF reader; small pictures go through the writer too (AV1 encoding of a
// large one would take the fuzzer's time from the reader).
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::DecodeAndReencode(data, size, codec::AvifDecode, [](const codec::CxImage& image, auto& out) {
        return image.GetWidth() * image.GetHeight() <= 64 * 64 ? codec::AvifEncode(image, out) : codec::Result::Ok();
    });
}
