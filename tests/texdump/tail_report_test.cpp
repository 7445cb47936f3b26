// Exact text of the tail CSV rows and the tail-check summary.
#include <gtest/gtest.h>

#include <algorithm>

#include "texdump/report.h"

namespace mivo {
namespace {

MipTailResult WithLevels(size_t count) {
  MipTailResult result;
  result.levels.resize(count);
  return result;
}

TEST(TailReportText, HeaderNamesTheTenColumns) {
  EXPECT_STREQ(kTailCsvHeader,
               "name,format,width,height,levels,distinct,box_mae_per_level,flat_mae_per_level,worst_box_mae,"
               "best_flat_mae\n");
}

TEST(TailReportText, SingleLevelLeavesBothListsEmptyBesideEachOther) {
  MipTailResult result = WithLevels(1);
  result.distinct_id = 12;
  EXPECT_EQ(TailCsvRow("bf_single", "k_8_8_8_8", 16, 8, result), "bf_single,k_8_8_8_8,16,8,1,12,,,0.000,-1.000\n");
}

TEST(TailReportText, ListsHoldOneTwoDecimalValuePerMipSeparatedBySpaces) {
  MipTailResult result = WithLevels(4);
  result.distinct_id = 3;
  result.box_mae = {0.5, 1.25, 3.0};
  result.flat_mae = {40.126, -1.0, 0.004};
  result.worst_box_mae = 3.0;
  result.best_flat_mae = 0.004;
  EXPECT_EQ(TailCsvRow("chain", "k_DXT1", 16, 16, result),
            "chain,k_DXT1,16,16,4,3,0.50 1.25 3.00,40.13 -1.00 0.00,3.000,0.004\n");
  EXPECT_EQ(MaeList({}), "");
  EXPECT_EQ(MaeList({7.0}), "7.00");
}

TEST(TailReportText, FailureRowKeepsTheTenColumns) {
  const std::string row = TailFailureRow("broken", "k_DXN", "texture too large");
  EXPECT_EQ(row, "broken,k_DXN,,,,,,,,FAILED texture too large\n");
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), 9);
}

TEST(TailReportText, SummaryCountsTexturesTailTexturesDistinctContentsAndFailures) {
  EXPECT_EQ(TailSummaryLine(7, 3, 2, 1), "7 textures, 3 with their mips in the base's tail (2 distinct), 1 failed\n");
}

}  // namespace
}  // namespace mivo
