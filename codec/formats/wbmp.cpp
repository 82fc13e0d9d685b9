#include "codec/formats/format.h"

namespace codec {

bool WbmpSniff(ByteView) { return false; }
Result WbmpDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading WBMP files is not available in this build"); }
Result WbmpEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing WBMP files is not available in this build"); }

} // namespace codec
