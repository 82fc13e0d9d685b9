#include "codec/formats/format.h"

namespace codec {

bool PnmSniff(ByteView) { return false; }
Result PnmDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading PNM files is not available in this build"); }
Result PnmEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing PNM files is not available in this build"); }

} // namespace codec
