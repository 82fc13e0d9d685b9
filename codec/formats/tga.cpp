#include "codec/formats/format.h"

namespace codec {

bool TgaSniff(ByteView) { return false; }
Result TgaDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading TGA files is not available in this build"); }
Result TgaEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing TGA files is not available in this build"); }

} // namespace codec
