#include "netpbm_oracle.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace netpbm_oracle {

namespace {

// Reads one whitespace-separated header token, skipping comments.
std::string Token(const std::vector<std::uint8_t>& d, std::size_t& pos)
{
    while (pos < d.size()) {
        if (d[pos] == '#') {
            while (pos < d.size() && d[pos] != '\n')
                ++pos;
        } else if (std::isspace(d[pos])) {
            ++pos;
        } else {
            break;
        }
    }
    std::string t;
    while (pos < d.size() && !std::isspace(d[pos]))
        t += static_cast<char>(d[pos++]);
    return t;
}

} // namespace

bool Read(const std::string& path, codec::CxImage& out, std::string* why)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> d((std::istreambuf_iterator<char>(in)), {});
    auto fail = [&](const std::string& text) {
        if (why)
            *why = path + ": " + text;
        return false;
    };
    if (d.size() < 3 || d[0] != 'P')
        return fail("not a netpbm file");
    std::size_t pos = 2;
    unsigned long width = 0, height = 0, depth = 0, maxval = 0;
    if (d[1] == '5' || d[1] == '6') {
        width = std::stoul(Token(d, pos));
        height = std::stoul(Token(d, pos));
        maxval = std::stoul(Token(d, pos));
        depth = d[1] == '5' ? 1 : 3;
    } else if (d[1] == '7') {
        for (std::string t = Token(d, pos); t != "ENDHDR"; t = Token(d, pos)) {
            if (t.empty())
                return fail("no ENDHDR");
            if (t == "WIDTH")
                width = std::stoul(Token(d, pos));
            if (t == "HEIGHT")
                height = std::stoul(Token(d, pos));
            if (t == "DEPTH")
                depth = std::stoul(Token(d, pos));
            if (t == "MAXVAL")
                maxval = std::stoul(Token(d, pos));
            if (t == "TUPLTYPE")
                Token(d, pos);
        }
    } else {
        return fail("unsupported netpbm type");
    }
    ++pos; // the single whitespace before the samples
    if (width == 0 || height == 0 || depth < 1 || depth > 4 || maxval < 1 || maxval > 65535)
        return fail("bad header");
    const std::size_t sampleBytes = maxval > 255 ? 2 : 1;
    if (d.size() < pos + width * height * depth * sampleBytes)
        return fail("short data");
    const bool alpha = depth == 2 || depth == 4;
    out.Create(width, height, alpha ? 32 : 24);
    auto sample = [&]() {
        unsigned v = d[pos++];
        if (sampleBytes == 2)
            v = v << 8 | d[pos++];
        return static_cast<std::uint8_t>((v * 255 + maxval / 2) / maxval);
    };
    for (unsigned long y = 0; y < height; ++y) {
        for (unsigned long x = 0; x < width; ++x) {
            codec::RGBQuad c;
            c.red = sample();
            if (depth >= 3) {
                c.green = sample();
                c.blue = sample();
            } else {
                c.green = c.blue = c.red;
            }
            c.alpha = alpha ? sample() : 255;
            out.SetPixelColor(x, y, c);
        }
    }
    return true;
}

void Write(const std::string& path, const codec::CxImage& image)
{
    const bool alpha = image.GetBpp() == 32;
    std::ostringstream header;
    if (alpha)
        header << "P7\nWIDTH " << image.GetWidth() << "\nHEIGHT " << image.GetHeight()
               << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    else
        header << "P6\n" << image.GetWidth() << " " << image.GetHeight() << "\n255\n";
    std::string bytes = header.str();
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            bytes += static_cast<char>(c.red);
            bytes += static_cast<char>(c.green);
            bytes += static_cast<char>(c.blue);
            if (alpha)
                bytes += static_cast<char>(c.alpha);
        }
    }
    std::ofstream(path, std::ios::binary) << bytes;
}

bool SameColors(const codec::CxImage& a, const codec::CxImage& b, int tolerance, std::string* why)
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
            if (std::abs(p.red - q.red) > tolerance || std::abs(p.green - q.green) > tolerance
                || std::abs(p.blue - q.blue) > tolerance || std::abs(p.alpha - q.alpha) > tolerance) {
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

codec::CxImage To16Bit(const codec::CxImage& image)
{
    codec::CxImage out(image.GetWidth(), image.GetHeight(), 16);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y)
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x)
            out.SetPixelColor(x, y, image.GetPixelColor(x, y));
    return out;
}

} // namespace netpbm_oracle
