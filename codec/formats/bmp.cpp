#include "codec/formats/format.h"

namespace codec {

bool BmpSniff(ByteView) { return false; }
Result BmpDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading BMP files is not available in this build"); }
Result BmpEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing BMP files is not available in this build"); }

} // namespace codec
