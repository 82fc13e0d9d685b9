#include "netpbm_io_helpers.h"

#include "support/test_support.h"

#include <sstream>

namespace netpbm_io {

std::vector<std::uint8_t> ToNetpbm(const codec::CxImage& image)
{
    const bool alpha = image.GetBpp() == 32;
    const std::uint32_t w = image.GetWidth(), h = image.GetHeight();
    std::string header = alpha ? "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h)
            + "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n"
                               : "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<std::uint8_t> out(header.begin(), header.end());
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const codec::RGBQuad c = image.GetPixelColor(x, y);
            out.insert(out.end(), { c.red, c.green, c.blue });
            if (alpha)
                out.push_back(c.alpha);
        }
    return out;
}

bool ParseNetpbm(const std::string& bytes, codec::CxImage& out, std::string* why)
{
    auto fail = [&](const std::string& text) {
        if (why)
            *why = text;
        return false;
    };
    std::istringstream in(bytes);
    std::string magic;
    in >> magic;
    std::uint32_t width = 0, height = 0, depth = 0, maxval = 0;
    if (magic == "P7") {
        std::string key;
        while (in >> key && key != "ENDHDR") {
            if (key == "WIDTH")
                in >> width;
            else if (key == "HEIGHT")
                in >> height;
            else if (key == "DEPTH")
                in >> depth;
            else if (key == "MAXVAL")
                in >> maxval;
            else
                std::getline(in, key);
        }
    } else if (magic == "P4" || magic == "P5" || magic == "P6") {
        in >> width >> height;
        maxval = 1;
        if (magic != "P4")
            in >> maxval;
        depth = magic == "P6" ? 3 : 1;
    } else {
        return fail("not raw netpbm output: '" + bytes.substr(0, 40) + "'");
    }
    in.get(); // the single white-space character ending the header
    const bool bitmap = magic == "P4";
    if (!in || width == 0 || height == 0 || depth < 1 || depth > 4 || (!bitmap && maxval != 255))
        return fail("unexpected netpbm header in '" + bytes.substr(0, 60) + "'");
    const std::size_t start = static_cast<std::size_t>(in.tellg());
    const std::size_t rowBytes = bitmap ? (width + 7) / 8 : std::size_t { width } * depth;
    if (bytes.size() < start + rowBytes * height)
        return fail("netpbm data cut short");
    const bool alpha = depth == 2 || depth == 4;
    out.Create(width, height, alpha ? 32 : 24);
    for (std::uint32_t y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(bytes.data() + start + y * rowBytes);
        for (std::uint32_t x = 0; x < width; ++x) {
            codec::RGBQuad c;
            if (bitmap) {
                c.red = c.green = c.blue = (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
            } else {
                const std::uint8_t* p = row + std::size_t { x } * depth;
                c.red = p[0];
                c.green = depth >= 3 ? p[1] : p[0];
                c.blue = depth >= 3 ? p[2] : p[0];
                c.alpha = depth == 4 ? p[3] : depth == 2 ? p[1] : 255;
            }
            out.SetPixelColor(x, y, c);
        }
    }
    return true;
}

bool ToolPixels(const std::string& command, codec::CxImage& out, std::string* why)
{
    std::string output;
    const int status = testing_support::RunCommand(command, &output);
    if (status != 0) {
        if (why)
            *why = "'" + command + "' exited with " + std::to_string(status);
        return false;
    }
    return ParseNetpbm(output, out, why);
}

} // namespace netpbm_io
