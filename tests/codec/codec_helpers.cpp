#include "codec/codec_helpers.h"

#include "codec/formats/format.h"

namespace testing_support {

using codec::CxImage;

std::vector<std::uint8_t> EncodeWith(EncodeFn encode, const CxImage& image)
{
    std::vector<std::uint8_t> out;
    const codec::Result r = encode(image, out);
    EXPECT_TRUE(r) << r.message;
    return out;
}

CxImage DecodeWith(DecodeFn decode, codec::ByteView bytes)
{
    CxImage image;
    EXPECT_TRUE(Decodes(decode, bytes, image));
    return image;
}

::testing::AssertionResult Decodes(DecodeFn decode, codec::ByteView bytes, CxImage& out)
{
    const codec::Result r = decode(bytes, codec::DefaultLimits(), out);
    if (r)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << r.message;
}

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

void ExpectRefused(const std::vector<BadInput>& inputs, std::uint32_t type)
{
    for (const BadInput& b : inputs) {
        CxImage img;
        EXPECT_FALSE(img.Decode(b.bytes, type)) << b.name;
        EXPECT_FALSE(img.IsValid()) << b.name;
        EXPECT_NE(std::string(img.GetLastError()).find(b.says), std::string::npos)
            << b.name << ": " << img.GetLastError();
    }
}

void ExpectRefused(DecodeFn decode, const std::vector<HostileInput>& inputs)
{
    for (const HostileInput& c : inputs) {
        SCOPED_TRACE(c.name);
        CxImage img;
        const codec::Result r = decode(c.bytes, codec::DefaultLimits(), img);
        EXPECT_FALSE(r);
        EXPECT_EQ(r.status, c.status) << r.message;
        EXPECT_FALSE(r.message.empty());
    }
}

CxImage MakeGrayImage(std::uint32_t width, std::uint32_t height)
{
    CxImage img(width, height, 8);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            img.Row(y)[x] = static_cast<std::uint8_t>((x * 13 + y * 29) & 255);
    return img;
}

} // namespace testing_support
