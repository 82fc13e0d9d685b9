#include "codec/formats/format.h"

namespace codec {

bool JpegSniff(ByteView) { return false; }
Result JpegDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading JPEG files is not available in this build"); }
Result JpegEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing JPEG files is not available in this build"); }

} // namespace codec
