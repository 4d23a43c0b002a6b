// The duration and size texts: every row of their table, and the maximum clip
// duration line with its estimate.
#include "DurationTexts.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct DurationCase
{
    uint32_t seconds;
    const char* text;
};

struct SizeCase
{
    uint64_t bytes;
    const char* text;
};

class DurationTextTest : public ::testing::TestWithParam<DurationCase>
{
};

TEST_P(DurationTextTest, GivesItsText)
{
    EXPECT_EQ(DurationText(GetParam().seconds).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    TextTable, DurationTextTest,
    ::testing::Values(DurationCase{0, "less than one second"}, DurationCase{1, "1 second"},
                      DurationCase{59, "59 seconds"}, DurationCase{60, "1 minute"},
                      DurationCase{61, "1 minute 1 second"}, DurationCase{120, "2 minutes"},
                      DurationCase{3725, "62 minutes 5 seconds"}));

// Beyond the table: the plural test is "greater than 1" on each count on its own.
INSTANTIATE_TEST_SUITE_P(
    Units, DurationTextTest,
    ::testing::Values(DurationCase{2, "2 seconds"}, DurationCase{62, "1 minute 2 seconds"},
                      DurationCase{121, "2 minutes 1 second"},
                      DurationCase{UINT32_MAX, "71582788 minutes 15 seconds"}));

class AboutDurationTextTest : public ::testing::TestWithParam<DurationCase>
{
};

TEST_P(AboutDurationTextTest, GivesItsText)
{
    EXPECT_EQ(AboutDurationText(GetParam().seconds).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(TextTable, AboutDurationTextTest,
                         ::testing::Values(DurationCase{0, "less than one second"},
                                           DurationCase{45, "about 45 seconds"},
                                           DurationCase{90, "about 1 minute 30 seconds"},
                                           DurationCase{180, "about 3 minutes"}));

INSTANTIATE_TEST_SUITE_P(Units, AboutDurationTextTest,
                         ::testing::Values(DurationCase{1, "about 1 second"},
                                           DurationCase{60, "about 1 minute"},
                                           DurationCase{61, "about 1 minute 1 second"}));

class SizeTextTest : public ::testing::TestWithParam<SizeCase>
{
};

TEST_P(SizeTextTest, GivesItsText)
{
    EXPECT_EQ(SizeText(GetParam().bytes).toStdString(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(TextTable, SizeTextTest,
                         ::testing::Values(SizeCase{0, "0 Bytes"}, SizeCase{1, "1 Bytes"},
                                           SizeCase{1023, "1023 Bytes"}, SizeCase{1024, "1 KB"},
                                           SizeCase{1126, "1 KB"}, SizeCase{1127, "1.1 KB"},
                                           SizeCase{1229, "1.2 KB"}, SizeCase{1536, "1.5 KB"},
                                           SizeCase{1048576, "1024 KB"}));

// The tenth is truncated, never rounded, and there is no unit above KB even past 4 GiB.
INSTANTIATE_TEST_SUITE_P(Beyond, SizeTextTest,
                         ::testing::Values(SizeCase{2047, "1.9 KB"}, SizeCase{2048, "2 KB"},
                                           SizeCase{5000, "4.8 KB"},
                                           SizeCase{uint64_t(5) << 32, "20971520 KB"}));

struct EstimateCase
{
    bool applyLimit;
    uint32_t bitrate;
    uint32_t limitKb;
    uint32_t seconds;
    const char* text;
};

class MaxClipDurationTest : public ::testing::TestWithParam<EstimateCase>
{
};

TEST_P(MaxClipDurationTest, EstimatesTheLength)
{
    const EstimateCase& c = GetParam();
    EXPECT_EQ(MaxClipDurationSeconds(c.bitrate, c.limitKb), c.seconds);
    EXPECT_EQ(MaxClipDurationText(c.applyLimit, c.bitrate, c.limitKb).toStdString(), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Estimates, MaxClipDurationTest,
    ::testing::Values(
        // The worked example: 7.8125 + 0.1 = 7.9125 KB/s, and 999 / 7.9125 = 126.26.
        EstimateCase{true, 64000, 1000, 126, "Maximum clip duration: about 2 minutes 6 seconds"},
        // 99 / 7.9125 = 12.51.
        EstimateCase{true, 64000, 100, 12, "Maximum clip duration: about 12 seconds"},
        // A limit of 1 KB or none leaves nothing to record.
        EstimateCase{true, 64000, 1, 0, "Maximum clip duration: less than one second"},
        EstimateCase{true, 64000, 0, 0, "Maximum clip duration: less than one second"},
        // The limit switched off, or a profile without a bitrate: no line at all.
        EstimateCase{false, 64000, 1000, 126, ""}, EstimateCase{true, 0, 11, 100, ""},
        // The largest limit at the lowest rate saturates instead of wrapping.
        EstimateCase{true, 0, UINT32_MAX, UINT32_MAX, ""}));

} // namespace
