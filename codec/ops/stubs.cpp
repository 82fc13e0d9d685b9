// Placeholders until the pixel operations land; each returns false with a last error.
#include "codec/ximage.h"

namespace codec {

bool CxImage::Resample2(std::uint32_t, std::uint32_t, int, int, CxImage*, bool) { SetLastError("not available"); return false; }
bool CxImage::IncreaseBpp(std::uint32_t) { SetLastError("not available"); return false; }
bool CxImage::DecreaseBpp(std::uint32_t, bool, const RGBQuad*, std::uint32_t) { SetLastError("not available"); return false; }
bool CxImage::GrayScale() { SetLastError("not available"); return false; }
bool CxImage::RedEyeRemove() { SetLastError("not available"); return false; }
bool CxImage::RotateLeft(CxImage*) { SetLastError("not available"); return false; }
bool CxImage::RotateRight(CxImage*) { SetLastError("not available"); return false; }
bool CxImage::Rotate180(CxImage*) { SetLastError("not available"); return false; }
std::vector<std::uint8_t> CxImage::CopyToHandle() const { return {}; }
std::vector<std::uint8_t> CxImage::ExportRGBA() const { return {}; }

} // namespace codec
