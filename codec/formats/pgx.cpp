#include "codec/formats/format.h"

namespace codec {

bool PgxSniff(ByteView) { return false; }
Result PgxDecode(ByteView, const DecodeLimits&, CxImage&) { return Unsupported("reading PGX files is not available in this build"); }
Result PgxEncode(const CxImage&, std::vector<std::uint8_t>&) { return Unsupported("writing PGX files is not available in this build"); }

} // namespace codec
