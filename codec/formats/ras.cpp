#include "codec/formats/format.h"

namespace codec {

bool RasSniff(ByteView) { return false; }
Result RasDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading RAS files is not available in this build"); }
Result RasEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing RAS files is not available in this build"); }

} // namespace codec
