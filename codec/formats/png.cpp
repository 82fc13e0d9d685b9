#include "codec/formats/format.h"

namespace codec {

bool PngSniff(ByteView) { return false; }
Result PngDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading PNG files is not available in this build"); }
Result PngEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing PNG files is not available in this build"); }

} // namespace codec
