// JPEG 2000 through OpenJPEG (JP2 and raw codestreams, told apart by their signatures): the
// library is not instrumented, but our side is, the streams, the size checks and the conversion
// of any component layout (precision, sign, sub-sampling, alpha) to our pixels.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const codec::ByteView bytes(data, size);
    if (codec::Jp2Sniff(bytes))
        return fuzzing::DecodeAndReencode(data, size, codec::Jp2Decode, codec::Jp2Encode);
    return fuzzing::DecodeAndReencode(data, size, codec::JpcDecode, codec::JpcEncode);
}
