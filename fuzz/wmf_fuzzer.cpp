// Our reader for bitmap-only metafiles (header, record walk, bitmap records, composition) and the
// writer. The libwmf renderer is left out: it is not built with the fuzzer's instrumentation.
#include "codec/formats/wmf.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzzing::DecodeAndReencode(data, size, codec::WmfDecodeBitmapOnly, codec::WmfEncode);
}
