// Every format against every depth: what one format's own tests cannot show.

#include "codec/formats/format.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using codec::CxImage;

TEST(AllFormats, EverySaveTakesEveryDepthAndReadsBackItsSize)
{
    testing_support::TempDir dir;
    for (std::uint32_t type = 1; type < codec::kTypeCount; ++type) {
        for (std::uint32_t bpp : { 1u, 4u, 8u, 16u, 24u, 32u }) {
            CxImage img = testing_support::MakeTestImage(21, 13, bpp);
            const std::string path = dir.File("x" + std::to_string(type) + "-" + std::to_string(bpp));
            ASSERT_TRUE(img.Save(path, type)) << "type " << type << " bpp " << bpp << ": " << img.GetLastError();
            EXPECT_EQ(img.GetBpp(), bpp) << "saving must not change the caller's image";
            CxImage back;
            ASSERT_TRUE(back.Load(path, 0)) << "type " << type << " bpp " << bpp << ": " << back.GetLastError();
            EXPECT_EQ(back.GetType(), type) << "recognised by content, bpp " << bpp;
            EXPECT_EQ(back.GetWidth(), 21u) << type;
            EXPECT_EQ(back.GetHeight(), 13u) << type;
        }
    }
}

TEST(AllFormats, LosslessFormatsKeepEveryPixelOfA24BitImage)
{
    // Formats that hold 24-bit colour without loss; the others reduce depth or colour by design.
    for (std::uint32_t type : { codec::kTypeBmp,
             codec::kTypePng,
             codec::kTypeTif,
             codec::kTypeTga,
             codec::kTypePcx,
             codec::kTypeWmf,
             codec::kTypePnm,
             codec::kTypeRas,
             codec::kTypeIco }) {
        CxImage img = testing_support::MakeTestImage(33, 17, 24);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(img.Encode(bytes, type)) << type << ": " << img.GetLastError();
        CxImage back;
        ASSERT_TRUE(back.Decode(bytes, type)) << type << ": " << back.GetLastError();
        std::string why;
        EXPECT_TRUE(testing_support::SamePixels(img, back, &why)) << type << ": " << why;
    }
}

TEST(AllFormats, MislabelledFilesStillOpenAndGarbageNamesItsFormat)
{
    CxImage img = testing_support::MakeTestImage(9, 9, 24);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(img.Encode(png, codec::kTypePng));
    CxImage asJpeg;
    ASSERT_TRUE(asJpeg.Decode(png, codec::kTypeJpg)) << asJpeg.GetLastError();
    EXPECT_EQ(asJpeg.GetType(), codec::kTypePng);

    std::vector<std::uint8_t> garbage(64, 0x5A);
    CxImage bad;
    EXPECT_FALSE(bad.Decode(garbage, codec::kTypeJpg));
    EXPECT_EQ(std::string(bad.GetLastError()).rfind("JPEG: ", 0), 0u) << bad.GetLastError();
}
