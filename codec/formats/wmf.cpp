#include "codec/formats/format.h"

namespace codec {

bool WmfSniff(ByteView) { return false; }
Result WmfDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading WMF files is not available in this build"); }
Result WmfEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing WMF files is not available in this build"); }

} // namespace codec
