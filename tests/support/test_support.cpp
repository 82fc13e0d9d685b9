#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <sys/wait.h>

namespace testing_support {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

CliRun RunCli(const std::string& args, const TempDir& dir, const std::string& env)
{
    CliRun r;
    const std::string errFile = dir.File(".stderr");
    r.status = RunCommand("cd '" + dir.path() + "' && env -u PELMORA_PASSWORD " + env + " " + std::string(PELMORA_CLI)
            + " " + args + " </dev/null 2>'" + errFile + "'",
        &r.out);
    const auto bytes = ReadFileBytes(errFile);
    r.err.assign(bytes.begin(), bytes.end());
    std::remove(errFile.c_str());
    return r;
}

int RunCommand(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const std::string& name)
{
    return RunCommand("command -v " + name + " >/dev/null 2>&1") == 0;
}

std::vector<std::uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string SaveTestJpeg(const std::string& path, std::uint32_t width, std::uint32_t height)
{
    codec::CxImage img = MakeTestImage(width, height, 24);
    EXPECT_TRUE(img.Save(path, codec::kTypeJpg)) << img.GetLastError();
    return path;
}

codec::CxImage MakeTestImage(std::uint32_t width, std::uint32_t height, std::uint32_t bpp)
{
    codec::CxImage img(width, height, bpp == 16 ? 24 : bpp);
    if (bpp <= 8) {
        // A palette of distinct colours; the pattern uses every index.
        const std::size_t n = std::size_t { 1 } << bpp;
        auto& pal = img.Palette();
        for (std::size_t i = 0; i < n; ++i) {
            pal[i] = codec::RGBQuad { static_cast<std::uint8_t>((i * 37) & 255),
                static_cast<std::uint8_t>((i * 91 + 40) & 255),
                static_cast<std::uint8_t>(255 - i * 255 / (n - 1)),
                255 };
        }
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                img.Row(y)[x] = static_cast<std::uint8_t>((x / 3 + y * 7 + (x * y) / 5) % n);
        return img;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            codec::RGBQuad c;
            c.red = static_cast<std::uint8_t>(x * 255 / std::max(1u, width - 1));
            c.green = static_cast<std::uint8_t>(y * 255 / std::max(1u, height - 1));
            c.blue = static_cast<std::uint8_t>(((x + y) * 4) & 255);
            if ((x / 8 + y / 8) % 5 == 0)
                c.blue = 255 - c.blue; // hard edges
            c.alpha = bpp == 32 ? static_cast<std::uint8_t>(255 - ((x * 3 + y) & 127)) : 255;
            img.SetPixelColor(x, y, c);
        }
    }
    if (bpp == 16)
        img.IncreaseBpp(16), img.DecreaseBpp(16, false);
    return img;
}

namespace {

/// Compares every pixel through GetPixelColor; `differs` decides. On a mismatch `why` names the
/// first differing pixel.
template <class Differs>
bool Compare(const codec::CxImage& a, const codec::CxImage& b, std::string* why, Differs differs)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) {
        if (why)
            *why = "sizes differ: " + std::to_string(a.GetWidth()) + "x" + std::to_string(a.GetHeight()) + " vs "
                + std::to_string(b.GetWidth()) + "x" + std::to_string(b.GetHeight());
        return false;
    }
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            const codec::RGBQuad p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            if (differs(p, q)) {
                if (why) {
                    char text[160];
                    std::snprintf(text,
                        sizeof text,
                        "pixel (%u,%u): %d,%d,%d,%d vs %d,%d,%d,%d",
                        x,
                        y,
                        p.red,
                        p.green,
                        p.blue,
                        p.alpha,
                        q.red,
                        q.green,
                        q.blue,
                        q.alpha);
                    *why = text;
                }
                return false;
            }
        }
    }
    return true;
}

bool SameRgb(codec::RGBQuad p, codec::RGBQuad q)
{
    return p.red == q.red && p.green == q.green && p.blue == q.blue;
}

} // namespace

bool SamePixels(const codec::CxImage& a, const codec::CxImage& b, std::string* why)
{
    const bool alpha = a.GetBpp() == 32 && b.GetBpp() == 32;
    return Compare(a, b, why, [alpha](codec::RGBQuad p, codec::RGBQuad q) {
        return !SameRgb(p, q) || (alpha && p.alpha != q.alpha);
    });
}

bool SameColors(const codec::CxImage& a, const codec::CxImage& b, int tolerance, std::string* why)
{
    return Compare(a, b, why, [tolerance](codec::RGBQuad p, codec::RGBQuad q) {
        return std::abs(p.red - q.red) > tolerance || std::abs(p.green - q.green) > tolerance
            || std::abs(p.blue - q.blue) > tolerance || std::abs(p.alpha - q.alpha) > tolerance;
    });
}

bool SameVisible(const codec::CxImage& a, const codec::CxImage& b, bool exactAlpha, std::string* why)
{
    return Compare(a, b, why, [exactAlpha](codec::RGBQuad p, codec::RGBQuad q) {
        const bool alphaDiffers = exactAlpha ? p.alpha != q.alpha : (p.alpha == 0) != (q.alpha == 0);
        return alphaDiffers || (p.alpha != 0 && !SameRgb(p, q));
    });
}

int MaxChannelDiff(const codec::CxImage& a, const codec::CxImage& b, bool withAlpha)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 256;
    int most = 0;
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            const codec::RGBQuad p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            most = std::max({ most,
                std::abs(p.red - q.red),
                std::abs(p.green - q.green),
                std::abs(p.blue - q.blue),
                withAlpha ? std::abs(p.alpha - q.alpha) : 0 });
        }
    return most;
}

double Psnr(const codec::CxImage& a, const codec::CxImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 0.0;
    double sum = 0;
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            codec::RGBQuad p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            double dr = p.red - q.red, dg = p.green - q.green, db = p.blue - q.blue;
            sum += dr * dr + dg * dg + db * db;
        }
    }
    if (sum == 0)
        return std::numeric_limits<double>::infinity();
    double mse = sum / (3.0 * a.GetWidth() * a.GetHeight());
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

std::string DataPath(const std::string& relative)
{
    return std::string(PELMORA_TEST_DATA) + "/" + relative;
}

} // namespace testing_support
