#pragma once

// Helpers for the tests of the small formats (TGA, PCX, RAS, PGX): round trips through our
// codec, and the netpbm files the independent tools read and write.

#include "codec/ximage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

/// Encodes `image` as `type` and decodes the bytes again; an invalid image (with the error in
/// GetLastError) when either step fails.
codec::CxImage RoundTrip(const codec::CxImage& image, std::uint32_t type, std::vector<std::uint8_t>* bytes = nullptr);

/// Decodes bytes as `type` (0: recognise the content).
codec::CxImage DecodeBytes(const std::vector<std::uint8_t>& bytes, std::uint32_t type);

/// A 16-bit image (5-5-5 channels) with the colours of MakeTestImage's 24-bit picture.
codec::CxImage MakeTestImage16(std::uint32_t width, std::uint32_t height);
/// An 8-bit image with a gray ramp palette and a pattern that uses many levels.
codec::CxImage MakeGrayImage(std::uint32_t width, std::uint32_t height);

/// Reads a binary PBM, PGM or PPM file (P4, P5, P6) as a 24-bit image; invalid on a parse error.
codec::CxImage ReadPnm(const std::string& path);
/// Writes the image's colours as a binary PPM (P6).
void WritePpm(const codec::CxImage& image, const std::string& path);
/// Writes the image's gray levels (red channel) as a binary PGM (P5).
void WritePgm(const codec::CxImage& image, const std::string& path);

/// The largest difference of any R, G or B value between two images of the same size (256 when
/// the sizes differ).
int MaxChannelDiff(const codec::CxImage& a, const codec::CxImage& b);

/// Runs a shell command and reports a failing exit status with the command's text.
bool RunTool(const std::string& command);

} // namespace testing_support
