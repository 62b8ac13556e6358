#include <gtest/gtest.h>

#include "core/base/messages.h"

namespace hl {
namespace {

// The refusals name their limits through LimitText; a changed limit must not change a
// message by accident, so each text is held here as the user reads it.
TEST(LimitTexts, SpellTheLimitsAsTheMessagesAlwaysHave) {
  EXPECT_EQ(LimitText(Limit::TimeScaleRange), "1..500 ms");
  EXPECT_EQ(LimitText(Limit::LongestTimeScale), "500 ms");
  EXPECT_EQ(LimitText(Limit::ShortestWindow), "1 ms");
  EXPECT_EQ(LimitText(Limit::SampleRateRange), "4000..44100 Hz");
  EXPECT_EQ(LimitText(Limit::FileRateRange), "4000..384000 Hz");
  EXPECT_EQ(LimitText(Limit::HighestFileRate), "384000 Hz");
  EXPECT_EQ(LimitText(Limit::ShortestFile), "2048");
}

}  // namespace
}  // namespace hl
