#include "codec/palette.h"

#include "codec/ops/ops_internal.h"

namespace codec {
namespace {

void AddPixels(const CxImage& image, ops::ColorHistogram& hist)
{
    ops::RowReader reader(image, 3);
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        const std::uint8_t* row = reader.Get(y);
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x)
            hist.Add(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
}

} // namespace

std::vector<RGBQuad> SharedPalette(std::span<const CxImage* const> images, std::size_t maxColors)
{
    ops::ColorHistogram hist;
    bool any = false;
    for (const CxImage* image : images) {
        if (image && image->IsValid()) {
            AddPixels(*image, hist);
            any = true;
        }
    }
    return any ? hist.BuildPalette(maxColors) : std::vector<RGBQuad> {};
}

std::vector<RGBQuad> OwnPalette(const CxImage& image, std::size_t maxColors)
{
    const CxImage* one[] = { &image };
    return SharedPalette(one, maxColors);
}

double PaletteError(const CxImage& image, std::span<const RGBQuad> palette)
{
    if (!image.IsValid() || palette.empty())
        return 0.0;
    ops::NearestColorMap map(palette);
    ops::RowReader reader(image, 3);
    double sum = 0.0;
    for (std::uint32_t y = 0; y < image.GetHeight(); ++y) {
        const std::uint8_t* row = reader.Get(y);
        std::uint64_t rowSum = 0;
        for (std::uint32_t x = 0; x < image.GetWidth(); ++x) {
            const int r = row[x * 3], g = row[x * 3 + 1], b = row[x * 3 + 2];
            const RGBQuad& c = map.Color(map.Find(r, g, b));
            const int dr = c.red - r, dg = c.green - g, db = c.blue - b;
            rowSum += static_cast<std::uint64_t>(dr * dr + dg * dg + db * db);
        }
        sum += static_cast<double>(rowSum);
    }
    return sum / (3.0 * image.GetWidth() * image.GetHeight());
}

} // namespace codec
