#include "codec/formats/format.h"

namespace codec {

bool IcoSniff(ByteView) { return false; }
Result IcoDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading ICO files is not available in this build"); }
Result IcoEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing ICO files is not available in this build"); }

} // namespace codec
