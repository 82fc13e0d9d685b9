#include "core/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace core;

TEST(Registry, SaveFiltersAndDefaultExtensionsByteForByte)
{
    const char* expected[16][2] = {
        { nullptr, "bmp" },
        { "Bitmap File (*.bmp)|*.bmp||", "bmp" },
        { "Graphics Interchange Format File (*.gif)|*.gif||", "gif" },
        { "Joint Photographic Experts Group File (*.jpg; *.jpeg)|*.jpg;*.jpeg||", "jpg" },
        { "Portable Network Graphics File (*.png)|*.png||", "png" },
        { "Icon File (*.ico)|*.ico||", "ico" },
        { "Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff||", "tiff" },
        { "Targa Image File (*.tga)|*.tga||", "tga" },
        { "Picture Exchange Image File (*.pcx)|*.pcx||", "pcx" },
        { "Wireless Bitmap File (*.wbmp)|*.wbmp||", "wbmp" },
        { "Windows Metafile (*.wmf)|*.wmf||", "wmf" },
        { "JPEG 2000 File (*.jp2)|*.jp2||", "jp2" },
        { "Japan Picture Format File (*.jpc)|*.jpc||", "jpc" },
        { "Binary Property Page File (*.pgx)|*.pgx||", "pgx" },
        { "Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm)|*.pnm;*.ppm;*.pgm||", "PNM" },
        { "Sun Raster Graphic File (*.ras)|*.ras||", "ras" },
    };
    for (ImageType t = 1; t <= 15; ++t) {
        EXPECT_EQ(ImageTypeFilter(t).filter, expected[t][0]) << t;
        EXPECT_EQ(ImageTypeFilter(t).defaultExtension, expected[t][1]) << t;
    }
    EXPECT_EQ(ImageTypeFilter(0).defaultExtension, "bmp");
    EXPECT_EQ(ImageTypeFilter(19).filter, "");
    EXPECT_EQ(ImageTypeFilter(19).defaultExtension, "");
}

TEST(Registry, ModernFormatsFollowTheFifteenWithTheirOwnRows)
{
    const std::tuple<ImageType, const char*, const char*, const char*, const char*> rows[] = {
        { 16, "WebP Image File", "WebP Image File (*.webp)|*.webp||", "webp", "a.WEBP" },
        { 17, "AV1 Image File", "AV1 Image File (*.avif)|*.avif||", "avif", "/x.y/a.avif" },
        { 18, "JPEG XL File", "JPEG XL File (*.jxl)|*.jxl||", "jxl", "a.Jxl" },
    };
    for (const auto& [type, name, filter, ext, path] : rows) {
        EXPECT_EQ(ImageTypeName(type), name);
        EXPECT_EQ(ImageTypeFilter(type).filter, filter);
        EXPECT_EQ(ImageTypeFilter(type).defaultExtension, ext);
        EXPECT_EQ(ImageTypeFromExtension(path), type) << path;
        EXPECT_EQ(ImageTypeFromName(std::string(name) + " (." + ext + ")"), type);
        // The fixed open filter and document description name the fifteen originals only.
        EXPECT_EQ(FullOpenFilter().find(std::string("*.") + ext), std::string::npos);
        EXPECT_EQ(DocumentTypeDescription().find(std::string(".") + ext), std::string::npos);
    }
    EXPECT_EQ(kLastImageType, 18u);
}

TEST(Registry, FullOpenFilterByteForByte)
{
    const std::string expected = "All Supported Image Files "
                                 "(*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.jp2;*."
                                 "jpc;*.pgx;*.pnm;*.pgm;*.ppm;*.ras)"
                                 "|*.bmp;*.gif;*.jpg;*.jpeg;*.png;*.ico;*.tif;*.tiff;*.tga;*.pcx;*.wbmp;*.wmf;*.jp2;*."
                                 "jpc;*.pgx;*.pnm;*.pgm;*.ppm;*.ras|"
                                 "Bitmap File (*.bmp)|*.bmp|"
                                 "Graphics Interchange Format File (*.gif)|*.gif|"
                                 "Joint Photographic Experts Group File (*.jpg; *.jpeg)|*.jpg; *.jpeg|"
                                 "Icon File (*.ico)|*.ico|"
                                 "Portable Network Graphics File (*.png)|*.png|"
                                 "Tagged Image File Format (*.tif;*.tiff)|*.tif;*.tiff|"
                                 "Targa Image File (*.tga)|*.tga|"
                                 "Picture Exchange Image File (*.pcx)|*.pcx|"
                                 "Wireless Bitmap File (*.wbmp)|*.wbmp|"
                                 "Windows Metafile (*.wmf)|*.wmf|"
                                 "JPEG 2000 File (*.jp2)|*.jp2|"
                                 "Japan Picture Format File (*.jpc)|*.jpc|"
                                 "Binary Property Page File (*.pgx)|*.pgx|"
                                 "Sun Raster Graphic File (*.ras)|*.ras|"
                                 "Portable Any Map Graphic Bitmap File (*.pnm;*.ppm;*.pgm)|*.pnm;*.ppm;*.pgm||";
    EXPECT_EQ(ImageTypeFilter(0).filter, expected);
    EXPECT_EQ(FullOpenFilter(), expected);
    // Exactly one "||", at the very end.
    EXPECT_EQ(expected.find("||"), expected.size() - 2);
}

TEST(Registry, ExtensionLookupIgnoresCaseAndUsesLastDotOfWholePath)
{
    EXPECT_EQ(ImageTypeFromExtension("/photos/PHOTO.JPEG"), 3u);
    EXPECT_EQ(ImageTypeFromExtension("/photos/photo.jpeg"), 3u);
    EXPECT_EQ(ImageTypeFromExtension("/photos/photo.JPG"), 3u);
    EXPECT_EQ(ImageTypeFromExtension("/scans/scan.TIF"), 6u);
    EXPECT_EQ(ImageTypeFromExtension("/scans/scan.tiff"), 6u);
    EXPECT_EQ(ImageTypeFromExtension("a.pgm"), 14u);
    EXPECT_EQ(ImageTypeFromExtension("a.ppm"), 14u);
    EXPECT_EQ(ImageTypeFromExtension("a.PNM"), 14u);
    EXPECT_EQ(ImageTypeFromExtension("/x/archive.tar.gif"), 2u);
    EXPECT_EQ(ImageTypeFromExtension("/my.folder/picture"), 0u);
    EXPECT_EQ(ImageTypeFromExtension("C:\\my.pics\\picture"), 0u);
    EXPECT_EQ(ImageTypeFromExtension("/x/picture"), 0u);
    EXPECT_EQ(ImageTypeFromExtension(""), 0u);
    for (const char* offeredButUnknown : { "a.j2k", "a.emf", "a.jbg", "a.j2c", "a.jpe", "a." })
        EXPECT_EQ(ImageTypeFromExtension(offeredButUnknown), 0u) << offeredButUnknown;
    const std::pair<const char*, ImageType> all[] = { { ".bmp", 1 },
        { ".gif", 2 },
        { ".png", 4 },
        { ".ico", 5 },
        { ".tga", 7 },
        { ".pcx", 8 },
        { ".wbmp", 9 },
        { ".wmf", 10 },
        { ".jp2", 11 },
        { ".jpc", 12 },
        { ".pgx", 13 },
        { ".ras", 15 } };
    for (auto [ext, type] : all)
        EXPECT_EQ(ImageTypeFromExtension(std::string("f") + ext), type) << ext;
}

TEST(Registry, ExtensionLookupLeavesMultibyteNamesAlone)
{
    // "Ä" and "Ü" are two-byte UTF-8 sequences; lower-casing must not disturb the match.
    EXPECT_EQ(ImageTypeFromExtension("/Bilder/ÄRGER.PNG"), 4u);
    EXPECT_EQ(ImageTypeFromExtension("/Bilder/ÜBER.Jpg"), 3u);
    EXPECT_EQ(LowerCase("ÄBC.PNG"), "Äbc.png");
}

TEST(Registry, NameLookupBySubstringInOrder)
{
    EXPECT_EQ(ImageTypeFromName("Tagged Image File Format (.tif, .tiff)"), 6u);
    EXPECT_EQ(ImageTypeFromName("Tagged Image File Format (.tif)"), 0u);
    EXPECT_EQ(ImageTypeFromName("Joint Photographic Experts Group File (.jpg, .jpeg)"), 3u);
    EXPECT_EQ(ImageTypeFromName("only .jpeg"), 0u);
    EXPECT_EQ(ImageTypeFromName("Wireless Bitmap File (.wbmp)"), 9u);
    EXPECT_EQ(ImageTypeFromName("Bitmap File (.bmp)"), 1u);
    EXPECT_EQ(ImageTypeFromName("Portable Any Map Graphic Bitmap File (.pnm, .pgm, .ppm)"), 14u);
    EXPECT_EQ(ImageTypeFromName(".PNG upper case"), 0u);
    // First substring in the search order wins, wherever it stands in the text.
    EXPECT_EQ(ImageTypeFromName("x.png and x.gif"), 2u);
}

TEST(Registry, DisplayNames)
{
    EXPECT_EQ(ImageTypeName(0), "unknown");
    EXPECT_EQ(ImageTypeName(19), "unknown");
    EXPECT_EQ(ImageTypeName(0xFFFFFFFFu), "unknown");
    EXPECT_EQ(ImageTypeName(3), "Joint Photographic Experts Group File");
    EXPECT_EQ(ImageTypeName(12), "Japan Picture Format File");
    EXPECT_EQ(ImageTypeName(14), "Portable Any Map Graphic Bitmap File");
    EXPECT_EQ(ImageTypeName(15), "Sun Raster Graphic File");
}

TEST(Registry, ChoiceListsAndZoomText)
{
    std::vector<std::string_view> zoom(ZoomLevels().begin(), ZoomLevels().end());
    EXPECT_EQ(
        zoom, (std::vector<std::string_view> { "10%", "25%", "50%", "100%", "200%", "300%", "400%", "500%", "600%" }));
    EXPECT_EQ(ZoomLevels()[kInitialZoomIndex], "100%");
    std::vector<std::string_view> bpp(BppChoices().begin(), BppChoices().end());
    EXPECT_EQ(bpp, (std::vector<std::string_view> { "1", "8", "16", "24", "32" }));
    std::vector<std::string_view> dpi(DpiChoices().begin(), DpiChoices().end());
    EXPECT_EQ(dpi, (std::vector<std::string_view> { "72", "96", "150", "300", "600" }));

    EXPECT_EQ(ZoomPercentFromText("25%"), 25);
    EXPECT_EQ(ZoomPercentFromText("600%"), 600);
    EXPECT_EQ(ZoomPercentFromText("10%"), 10);
    EXPECT_EQ(ZoomPercentFromText("abc"), 0);
    EXPECT_EQ(ZoomPercentFromText("%50"), 0);
    EXPECT_EQ(ZoomPercentFromText(""), 0);
}

TEST(Registry, DocumentTypeDescriptionHasSevenFields)
{
    const std::string& d = DocumentTypeDescription();
    EXPECT_EQ(std::count(d.begin(), d.end(), '\n'), 6);
    EXPECT_EQ(DocumentTypeField(0), "");
    EXPECT_EQ(DocumentTypeField(1), "Image");
    EXPECT_EQ(DocumentTypeField(2), "Image");
    EXPECT_EQ(DocumentTypeField(3),
        "Image files "
        "(.bmp;.gif;.jpg;.jpeg;.png;.ico;.tif;.tiff;.tga;.pcx;.wbmp;.wmf;.emf;.j2k;.jp2;.jbg;.j2c;.jpc;.pgx;.pnm;.pgm;."
        "ppm.ras)");
    EXPECT_EQ(DocumentTypeField(4),
        ".bmp;.gif;.jpg;.jpeg;.png;.ico;.tif;.tiff;.tga;.pcx;.wbmp;.wmf;.emf;.j2k;.jp2;.jbg;.j2c;.jpc;.pgx;.pnm;.pgm;."
        "ppm;."
        "ras");
    EXPECT_EQ(DocumentTypeField(5), "Varden.Document");
    EXPECT_EQ(DocumentTypeField(6), "Varden.Document");
}
