// Decodes arbitrary bytes as TIFF and re-encodes whatever decodes.
#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::DecodeAndReencode(data, size, codec::TiffDecode, codec::TiffEncode);
}
