#include "core/registry.h"

#include <array>
#include <cstdlib>

namespace core {

namespace {

struct FormatRow {
    std::string_view name;
    std::string_view defaultExtension;
    std::string_view saveFilter;
};

// Indexed by image type. Type 0's filter is the full open filter, built below.
constexpr std::array<FormatRow, kLastImageType + 1> kFormats { {
    { "unknown", "bmp", "" },
    { "Bitmap File", "bmp", "Bitmap File (*.bmp)|*.bmp||" },
    { "Graphics Interchange Format File", "gif", "Graphics Interchange Format File (*.gif)|*.gif||" },
    { "Joint Photographic Experts Group File",
        "jpg",
        "Joint Photographic Experts Group File (*.jpg; *.jpeg)|*.jpg;*.jpeg||" },
    { "Portable Network Graphics File", "png", "Portable Network Graphics File (*.png)|*.png||" },
    { "Icon File", "ico", "Icon File (*.ico)|*.ico||" },
    { "Tagged Image File Format", "tiff", "Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff||" },
    { "Targa Image File", "tga", "Targa Image File (*.tga)|*.tga||" },
    { "Picture Exchange Image File", "pcx", "Picture Exchange Image File (*.pcx)|*.pcx||" },
    { "Wireless Bitmap File", "wbmp", "Wireless Bitmap File (*.wbmp)|*.wbmp||" },
    { "Windows Metafile", "wmf", "Windows Metafile (*.wmf)|*.wmf||" },
    { "JPEG 2000 File", "jp2", "JPEG 2000 File (*.jp2)|*.jp2||" },
    { "Japan Picture Format File", "jpc", "Japan Picture Format File (*.jpc)|*.jpc||" },
    { "Binary Property Page File", "pgx", "Binary Property Page File (*.pgx)|*.pgx||" },
    { "Portable Any Map Graphic Bitmap File",
        "PNM",
        "Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm)|*.pnm;*.ppm;*.pgm||" },
    { "Sun Raster Graphic File", "ras", "Sun Raster Graphic File (*.ras)|*.ras||" },
    // The modern formats come after the fifteen originals, whose numbers and texts stay as they were.
    { "WebP Image File", "webp", "WebP Image File (*.webp)|*.webp||" },
    { "AV1 Image File", "avif", "AV1 Image File (*.avif)|*.avif||" },
    { "JPEG XL File", "jxl", "JPEG XL File (*.jxl)|*.jxl||" },
} };

// The open filter is not the save filters run together: its order differs (ICO before PNG),
// its JPEG patterns have a blank after the semicolon, and only the last entry ends in "||".
constexpr std::array<std::string_view, 16> kOpenFilterParts {
    "All Supported Image Files "
    "(*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.jp2;*.jpc;*.pgx;*.pnm;*.pgm;*.ppm;*"
    ".ras)|*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.jp2;*.jpc;*.pgx;*.pnm;*.pgm;*."
    "ppm;*.ras|",
    "Bitmap File (*.bmp)|*.bmp|",
    "Graphics Interchange Format File (*.gif)|*.gif|",
    "Joint Photographic Experts Group File (*.jpg; *.jpeg)|*.jpg; *.jpeg|",
    "Icon File (*.ico)|*.ico|",
    "Portable Network Graphics File (*.png)|*.png|",
    "Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff|",
    "Targa Image File (*.tga)|*.tga|",
    "Picture Exchange Image File (*.pcx)|*.pcx|",
    "Wireless Bitmap File (*.wbmp)|*.wbmp|",
    "Windows Metafile (*.wmf)|*.wmf|",
    "JPEG 2000 File (*.jp2)|*.jp2|",
    "Japan Picture Format File (*.jpc)|*.jpc|",
    "Binary Property Page File (*.pgx)|*.pgx|",
    "Sun Raster Graphic File (*.ras)|*.ras|",
    "Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm)|*.pnm;*.ppm;*.pgm||",
};

struct Mapping {
    std::string_view text;
    ImageType type;
};

constexpr std::array<Mapping, 22> kExtensions { {
    { ".bmp", 1 },
    { ".gif", 2 },
    { ".jpg", 3 },
    { ".jpeg", 3 },
    { ".ico", 5 },
    { ".png", 4 },
    { ".tif", 6 },
    { ".tiff", 6 },
    { ".tga", 7 },
    { ".pcx", 8 },
    { ".wbmp", 9 },
    { ".wmf", 10 },
    { ".jp2", 11 },
    { ".jpc", 12 },
    { ".pgx", 13 },
    { ".ras", 15 },
    { ".pnm", 14 },
    { ".ppm", 14 },
    { ".pgm", 14 },
    { ".webp", 16 },
    { ".avif", 17 },
    { ".jxl", 18 },
} };

// Searched as substrings, in this order; it knows ".tiff" but not ".tif", ".jpg" but not ".jpeg".
constexpr std::array<Mapping, 18> kNameSubstrings { {
    { ".bmp", 1 },
    { ".gif", 2 },
    { ".jpg", 3 },
    { ".ico", 5 },
    { ".png", 4 },
    { ".tiff", 6 },
    { ".tga", 7 },
    { ".pcx", 8 },
    { ".wbmp", 9 },
    { ".wmf", 10 },
    { ".jp2", 11 },
    { ".jpc", 12 },
    { ".pgx", 13 },
    { ".ras", 15 },
    { ".pnm", 14 },
    { ".webp", 16 },
    { ".avif", 17 },
    { ".jxl", 18 },
} };

constexpr std::array<std::string_view, 9> kZoomLevels {
    "10%", "25%", "50%", "100%", "200%", "300%", "400%", "500%", "600%"
};
constexpr std::array<std::string_view, 5> kBppChoices { "1", "8", "16", "24", "32" };
constexpr std::array<std::string_view, 5> kDpiChoices { "72", "96", "150", "300", "600" };

} // namespace

const std::string& FullOpenFilter()
{
    static const std::string filter = [] {
        std::string s;
        for (std::string_view part : kOpenFilterParts)
            s += part;
        return s;
    }();
    return filter;
}

TypeFilter ImageTypeFilter(ImageType type)
{
    if (type > kLastImageType)
        return {};
    if (type == 0)
        return { FullOpenFilter(), std::string(kFormats[0].defaultExtension) };
    return { std::string(kFormats[type].saveFilter), std::string(kFormats[type].defaultExtension) };
}

std::string LowerCase(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

ImageType ImageTypeFromExtension(const std::string& path)
{
    const std::string lower = LowerCase(path);
    const std::string::size_type dot = lower.rfind('.');
    if (dot == std::string::npos)
        return 0;
    const std::string_view ext = std::string_view(lower).substr(dot);
    for (const Mapping& m : kExtensions)
        if (ext == m.text)
            return m.type;
    return 0;
}

ImageType ImageTypeFromName(const std::string& text)
{
    for (const Mapping& m : kNameSubstrings)
        if (text.find(m.text) != std::string::npos)
            return m.type;
    return 0;
}

std::string ImageTypeName(ImageType type)
{
    if (type < 1 || type > kLastImageType)
        return std::string(kFormats[0].name);
    return std::string(kFormats[type].name);
}

std::span<const std::string_view> ZoomLevels()
{
    return kZoomLevels;
}
std::span<const std::string_view> BppChoices()
{
    return kBppChoices;
}
std::span<const std::string_view> DpiChoices()
{
    return kDpiChoices;
}

int ZoomPercentFromText(const std::string& text)
{
    return std::atoi(text.c_str());
}

const std::string& DocumentTypeDescription()
{
    static const std::string description
        = "\nImage\nImage\n"
          "Image files "
          "(.bmp;.gif;.jpg;.jpeg;.png;.ico;.tif;.tiff;.tga;.pcx;.wbmp;.wmf;.emf;.j2k;.jp2;."
          "jbg;.j2c;.jpc;.pgx;.pnm;.pgm;.ppm.ras)\n"
          ".bmp;.gif;.jpg;.jpeg;.png;.ico;.tif;.tiff;.tga;.pcx;.wbmp;.wmf;.emf;.j2k;.jp2;."
          "jbg;.j2c;.jpc;.pgx;.pnm;.pgm;.ppm;.ras\n"
          "Varden.Document\nVarden.Document";
    return description;
}

std::string DocumentTypeField(int index)
{
    const std::string& d = DocumentTypeDescription();
    std::string::size_type start = 0;
    for (int i = 0; i < index; ++i) {
        start = d.find('\n', start);
        if (start == std::string::npos)
            return {};
        ++start;
    }
    return d.substr(start, d.find('\n', start) - start);
}

} // namespace core
