#pragma once

// Small helpers shared by the tests: temporary folders, synthetic images, running tools.

#include "codec/ximage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

/// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

/// Runs a shell command; returns its exit status and fills `output` with its stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);
/// True when a program is on PATH.
bool HaveTool(const std::string& name);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// A smooth, colourful test picture (gradients plus a few hard edges) at the given depth.
/// Indexed depths get a palette that holds every colour used, so round trips are exact.
codec::CxImage MakeTestImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp);

/// True when both images have the same size and every pixel has the same colour (and alpha
/// where both have it). On a mismatch, `why` names the first differing pixel.
bool SamePixels(const codec::CxImage& a, const codec::CxImage& b, std::string* why = nullptr);

/// Peak signal-to-noise ratio over R, G, B in dB (infinity for identical images).
double Psnr(const codec::CxImage& a, const codec::CxImage& b);

/// Path of a fixture under tests/data.
std::string DataPath(const std::string& relative);

} // namespace testing_support
