#include "codec/formats/format.h"

namespace codec {

bool Jp2Sniff(ByteView) { return false; }
Result Jp2Decode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading JP2 files is not available in this build"); }
Result Jp2Encode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing JP2 files is not available in this build"); }

} // namespace codec
