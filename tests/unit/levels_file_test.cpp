#include "core/files/levels_file.h"

#include <gtest/gtest.h>

#include <string>

namespace hl {
namespace {

LevelsTable SmallTable() {
  LevelsTable t;
  t.columns = 2;
  t.bins = 3;
  t.levels = {31, 200, -5, 393, 0, 32767};
  t.firstColumnMs = 1000;
  t.columnMs = 11.5;
  t.hzPerBin = 11025.0 / 512;
  return t;
}

TEST(LevelsFile, CsvHasTimeThenOneColumnPerBinCentre) {
  EXPECT_EQ(LevelsCsv(SmallTable()),
            "time_ms,0,21.533,43.066\n"
            "1000,31,200,-5\n"
            "1011.5,393,0,32767\n");
}

TEST(LevelsFile, NpyHeaderShapeAndLittleEndianData) {
  const std::vector<uint8_t> npy = LevelsNpy(SmallTable());
  ASSERT_GE(npy.size(), 10u);
  EXPECT_EQ(std::string(npy.begin() + 1, npy.begin() + 6), "NUMPY");
  const size_t headerLength = npy[8] | npy[9] << 8;
  EXPECT_EQ((10 + headerLength) % 64, 0u);
  const std::string header(npy.begin() + 10, npy.begin() + 10 + headerLength);
  EXPECT_NE(header.find("'descr': '<i2'"), std::string::npos);
  EXPECT_NE(header.find("'shape': (2, 3)"), std::string::npos);
  EXPECT_EQ(header.back(), '\n');
  ASSERT_EQ(npy.size(), 10 + headerLength + 12);
  const uint8_t* data = npy.data() + 10 + headerLength;
  EXPECT_EQ(data[4], 0xFB);  // -5
  EXPECT_EQ(data[5], 0xFF);
  EXPECT_EQ(data[6] | data[7] << 8, 393);
}

TEST(LevelsFile, MismatchedTableWritesNothing) {
  LevelsTable t = SmallTable();
  t.levels.pop_back();
  EXPECT_TRUE(LevelsCsv(t).empty());
  EXPECT_TRUE(LevelsNpy(t).empty());
}

}  // namespace
}  // namespace hl
