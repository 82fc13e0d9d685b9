#include "codec/formats/format.h"

namespace codec {

bool PcxSniff(ByteView) { return false; }
Result PcxDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading PCX files is not available in this build"); }
Result PcxEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing PCX files is not available in this build"); }

} // namespace codec
