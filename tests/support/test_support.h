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

/// What one run of pelmora-cli said.
struct CliRun {
    int status;
    std::string out;
    std::string err;
};

/// Runs pelmora-cli with `args` inside `dir`, stdin not a terminal and PELMORA_PASSWORD unset
/// unless `env` ("NAME=VALUE ...") sets it.
CliRun RunCli(const std::string& args, const TempDir& dir, const std::string& env = "");

/// Runs a shell command; returns its exit status and fills `output` with its stdout.
int RunCommand(const std::string& command, std::string* output = nullptr);
/// True when a program is on PATH.
bool HaveTool(const std::string& name);

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// A smooth, colourful test picture (gradients plus a few hard edges) at the given depth.
/// Indexed depths get a palette that holds every colour used, so round trips are exact.
codec::CxImage MakeTestImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp);

/// Saves a 24-bit test picture as a JPEG (4:4:4, so 8 x 8 blocks) at `path` and gives the path.
std::string SaveTestJpeg(const std::string& path, std::uint32_t width, std::uint32_t height);

/// True when both images have the same size and every pixel has the same colour (and alpha
/// where both have it). On a mismatch, `why` names the first differing pixel.
bool SamePixels(const codec::CxImage& a, const codec::CxImage& b, std::string* why = nullptr);

/// Like SamePixels, but alpha is always compared and every channel may differ by `tolerance`.
bool SameColors(const codec::CxImage& a, const codec::CxImage& b, int tolerance = 0, std::string* why = nullptr);

/// True when every pixel looks the same: equal opacity (alpha 0 or not; equal alpha values when
/// `exactAlpha`), and equal colour where `a` is not fully transparent.
bool SameVisible(const codec::CxImage& a, const codec::CxImage& b, bool exactAlpha, std::string* why = nullptr);

/// The largest difference of any R, G or B value, and alpha when asked (256 when the sizes differ).
int MaxChannelDiff(const codec::CxImage& a, const codec::CxImage& b, bool withAlpha = false);

/// Peak signal-to-noise ratio over R, G, B in dB (infinity for identical images).
double Psnr(const codec::CxImage& a, const codec::CxImage& b);

/// Path of a fixture under tests/data.
std::string DataPath(const std::string& relative);

} // namespace testing_support
