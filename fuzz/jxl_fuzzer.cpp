// Fuzz target for the JPEG XL reader; small pictures go through the writer too.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::DecodeAndReencode(data, size, codec::JxlDecode, [](const codec::CxImage& image, auto& out) {
        return image.GetWidth() * image.GetHeight() <= 64 * 64 ? codec::JxlEncode(image, out) : codec::Result::Ok();
    });
}
