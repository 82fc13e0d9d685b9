#include "codec/raster_oracle_helpers.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace testing_support {

using codec::CxImage;

CxImage DecodeBytes(const std::vector<std::uint8_t>& bytes, std::uint32_t type)
{
    CxImage out;
    out.Decode(bytes, type);
    return out;
}

CxImage RoundTrip(const CxImage& image, std::uint32_t type, std::vector<std::uint8_t>* bytes)
{
    std::vector<std::uint8_t> encoded;
    if (!image.Encode(encoded, type)) {
        CxImage failed;
        failed.SetLastError(std::string("encode: ") + image.GetLastError());
        return failed;
    }
    if (bytes)
        *bytes = encoded;
    return DecodeBytes(encoded, type);
}

CxImage MakeTestImage16(std::uint32_t width, std::uint32_t height)
{
    CxImage src = MakeTestImage(width, height, 24);
    CxImage img(width, height, 16);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            img.SetPixelColor(x, y, src.GetPixelColor(x, y));
    return img;
}

CxImage MakeGrayImage(std::uint32_t width, std::uint32_t height)
{
    CxImage img(width, height, 8);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            img.Row(y)[x] = static_cast<std::uint8_t>((x * 13 + y * 29) & 255);
    return img;
}

namespace {

// Reads the next header number, skipping blanks and comments.
bool PnmNumber(const std::vector<std::uint8_t>& b, std::size_t& pos, std::uint32_t& v)
{
    while (pos < b.size() && (std::isspace(b[pos]) || b[pos] == '#')) {
        if (b[pos] == '#')
            while (pos < b.size() && b[pos] != '\n')
                ++pos;
        else
            ++pos;
    }
    if (pos >= b.size() || !std::isdigit(b[pos]))
        return false;
    v = 0;
    while (pos < b.size() && std::isdigit(b[pos]))
        v = v * 10 + (b[pos++] - '0');
    return true;
}

} // namespace

CxImage ReadPnm(const std::string& path)
{
    const std::vector<std::uint8_t> b = ReadFileBytes(path);
    CxImage img;
    if (b.size() < 3 || b[0] != 'P' || (b[1] != '4' && b[1] != '5' && b[1] != '6'))
        return img;
    const char kind = static_cast<char>(b[1]);
    std::size_t pos = 2;
    std::uint32_t w = 0, h = 0, maxval = 1;
    if (!PnmNumber(b, pos, w) || !PnmNumber(b, pos, h))
        return img;
    if (kind != '4' && !PnmNumber(b, pos, maxval))
        return img;
    ++pos; // the single blank before the samples
    const std::size_t channels = kind == '6' ? 3 : 1;
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    const std::size_t rowBytes = kind == '4' ? (w + 7) / 8 : w * channels * sampleBytes;
    if (b.size() < pos + rowBytes * h || !img.Create(w, h, 24))
        return CxImage {};
    for (std::uint32_t y = 0; y < h; ++y) {
        const std::uint8_t* row = b.data() + pos + y * rowBytes;
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t rgb[3];
            if (kind == '4') {
                const bool black = (row[x / 8] >> (7 - x % 8)) & 1;
                rgb[0] = rgb[1] = rgb[2] = black ? 0 : 255;
            } else {
                for (std::size_t c = 0; c < 3; ++c) {
                    const std::uint8_t* s = row + (x * channels + (channels == 3 ? c : 0)) * sampleBytes;
                    const std::uint32_t v = sampleBytes == 2 ? (s[0] << 8) | s[1] : s[0];
                    rgb[c] = static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
                }
            }
            img.SetPixelColor(x, y, codec::RGBQuad { rgb[0], rgb[1], rgb[2], 255 });
        }
    }
    return img;
}

void WritePpm(const CxImage& image, const std::string& path)
{
    std::string header
        = "P6\n" + std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            codec::RGBQuad c = image.GetPixelColor(x, y);
            bytes.insert(bytes.end(), { c.red, c.green, c.blue });
        }
    WriteFileBytes(path, bytes);
}

void WritePgm(const CxImage& image, const std::string& path)
{
    std::string header
        = "P5\n" + std::to_string(image.GetWidth()) + " " + std::to_string(image.GetHeight()) + "\n255\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x)
            bytes.push_back(image.GetPixelColor(x, y).red);
    WriteFileBytes(path, bytes);
}

int MaxChannelDiff(const CxImage& a, const CxImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return 256;
    int most = 0;
    for (std::uint32_t y = 0; y < a.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < a.GetWidth(); ++x) {
            codec::RGBQuad p = a.GetPixelColor(x, y), q = b.GetPixelColor(x, y);
            most = std::max({ most, std::abs(p.red - q.red), std::abs(p.green - q.green), std::abs(p.blue - q.blue) });
        }
    return most;
}

bool RunTool(const std::string& command)
{
    std::string output;
    // The subshell keeps the command's own redirections; only its messages reach `output`.
    const int status = RunCommand("( " + command + " ) 2>&1", &output);
    if (status != 0)
        ADD_FAILURE() << "`" << command << "` exited with " << status << ": " << output;
    return status == 0;
}

} // namespace testing_support
