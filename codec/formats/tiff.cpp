#include "codec/formats/format.h"

namespace codec {

bool TiffSniff(ByteView) { return false; }
Result TiffDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading TIFF files is not available in this build"); }
Result TiffEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing TIFF files is not available in this build"); }

} // namespace codec
