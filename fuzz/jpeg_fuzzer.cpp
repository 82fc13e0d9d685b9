// Fuzz target for the JPEG reader (and, on success, the writer).
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::DecodeAndReencode(data, size, codec::JpegDecode, codec::JpegEncode);
}
