#include "codec/formats/format.h"

namespace codec {

bool JpcSniff(ByteView) { return false; }
Result JpcDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading JPC files is not available in this build"); }
Result JpcEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing JPC files is not available in this build"); }

} // namespace codec
