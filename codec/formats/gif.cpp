#include "codec/formats/format.h"

namespace codec {

bool GifSniff(ByteView) { return false; }
Result GifDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading GIF files is not available in this build"); }
Result GifEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing GIF files is not available in this build"); }

} // namespace codec
