#include "batch/batch_settings_check.h"

#include <gtest/gtest.h>

namespace {

TEST(BatchSettings, EveryFormatEntryNamesItsOwnType)
{
    const std::uint32_t expected[] = { 1, 2, 3, 5, 4, 6, 7, 8, 9, 11, 12, 13, 15, 14, 16, 17, 18 };
    ASSERT_EQ(batch::BatchFormatEntries().size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        batch::BatchDialogValues v;
        v.formatText = std::string(batch::BatchFormatEntries()[i]);
        EXPECT_EQ(batch::MakeBatchJob(v).imageType, expected[i]) << v.formatText;
    }
}

TEST(BatchSettings, TheDepthIsTheLeadingNumberOfItsText)
{
    batch::BatchDialogValues v;
    for (const auto& [text, bpp] : { std::pair { "", 0u }, std::pair { "24", 24u }, std::pair { " 8", 8u } }) {
        v.bppText = text;
        EXPECT_EQ(batch::MakeBatchJob(v).targetBpp, bpp) << text;
    }
}

} // namespace
