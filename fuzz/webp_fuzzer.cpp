// Fuzz target for the WebP reader (and, on success, the writer), then the animation's frames.
#include "codec/formats/webp.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzing::DecodeAndReencode(data, size, codec::WebpDecode, codec::WebpEncode);
    (void)codec::WebpDecodeFrames(codec::ByteView(data, size),
        codec::DecodeLimits {},
        [](const codec::CxImage&, std::size_t index) { return index < 8; });
    return 0;
}
