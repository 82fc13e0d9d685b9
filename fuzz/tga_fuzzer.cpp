#include "fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)codec::TgaSniff(codec::ByteView(data, size));
    return fuzzing::DecodeAndReencode(data, size, codec::TgaDecode, codec::TgaEncode);
}
