// A shrinking batch run decodes JPEGs at a reduced scale: the outputs keep the sizes the
// maximum-side rule asks for, and other formats go through exactly as before.

#include "batch/batch_convert.h"
#include "codec/ximage.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

using batch::BatchJob;
using codec::CxImage;
using testing_support::TempDir;

TEST(BatchShrink, OutputSizesFollowTheRuleWhateverTheDecodeScale)
{
    TempDir dir;
    // 640 x 430: odd enough that the reduced sides round (430 / 8 = 53.75).
    const CxImage picture = testing_support::MakeTestImage(640, 430, 24);
    const std::string jpg = dir.File("photo.jpg"), bmp = dir.File("photo.bmp");
    ASSERT_TRUE(CxImage(picture).Save(jpg, codec::kTypeJpg));
    ASSERT_TRUE(CxImage(picture).Save(bmp, codec::kTypeBmp));
    const CxImage fullJpeg(jpg, codec::kTypeJpg);

    // 800 enlarges and 640 keeps the size (full decode); 300, 150, 80 and 7 decode at 1/2, 1/4, 1/8.
    for (const std::uint32_t side : { 800u, 640u, 300u, 150u, 80u, 7u }) {
        const batch::PixelSize size = batch::FitLongerSide(640, 430, side);
        for (const std::string& source : { jpg, bmp }) {
            BatchJob job;
            job.imageType = codec::kTypePng;
            job.resizeEnabled = true;
            job.maxSide = side;
            const std::string out = dir.File("out.png");
            const batch::FileOutcome outcome = batch::ConvertBatchFile(job, source, out);
            ASSERT_TRUE(outcome.ok) << source << " at " << side << ": " << outcome.error;
            const CxImage result(out, codec::kTypePng);
            EXPECT_EQ(result.GetWidth(), size.width) << source << " at " << side;
            EXPECT_EQ(result.GetHeight(), size.height) << source << " at " << side;

            // A BMP, and a JPEG that is not shrunk, is resampled from its full picture exactly as
            // before; a shrunk JPEG comes from the reduced decode, so its pixels differ (how close
            // they stay is the JPEG reader's test).
            const CxImage& full = source == bmp ? picture : fullJpeg;
            CxImage expected;
            ASSERT_TRUE(CxImage(full).Resample2(
                size.width, size.height, codec::kInterpolationNearest, codec::kOverflowBackground, &expected));
            EXPECT_EQ(testing_support::SamePixels(result, expected), source == bmp || side >= 640)
                << source << " at " << side;
        }
    }
}
