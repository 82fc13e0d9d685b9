#include "batch/batch_settings_check.h"

#include <gtest/gtest.h>

namespace {

TEST(BatchSettings, EveryFormatEntryNamesItsOwnType)
{
    const std::uint32_t expected[] = { 1, 2, 3, 5, 4, 6, 7, 8, 9, 11, 12, 13, 15, 14 };
    ASSERT_EQ(batch::BatchFormatEntries().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        batch::BatchDialogValues v;
        v.formatText = std::string(batch::BatchFormatEntries()[i]);
        EXPECT_EQ(batch::MakeBatchJob(v).imageType, expected[i]) << v.formatText;
    }
}

TEST(BatchSettings, TheJobTakesTheDialogsValues)
{
    batch::BatchDialogValues v;
    v.files = { "/a.jpg", "/a.jpg" };
    v.destination = "/out";
    v.suffix = "_s";
    v.changeMaxSide = true;
    v.maxSide = 0;
    v.changeBpp = true;
    v.encrypt = true;
    v.password = "pw";
    struct Case {
        const char* bppText;
        std::uint32_t bpp;
    };
    for (const Case c : { Case { "", 0 }, Case { "24", 24 }, Case { "8", 8 } }) {
        v.bppText = c.bppText;
        const batch::BatchJob job = batch::MakeBatchJob(v);
        EXPECT_EQ(job.targetBpp, c.bpp) << c.bppText;
        EXPECT_EQ(job.files, v.files);
        EXPECT_EQ(job.destination, "/out");
        EXPECT_EQ(job.suffix, "_s");
        EXPECT_TRUE(job.resizeEnabled && job.depthEnabled && job.encrypt);
        EXPECT_EQ(job.maxSide, 0u);
        EXPECT_EQ(job.password, "pw");
    }
}

} // namespace
