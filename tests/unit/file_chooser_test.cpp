#include "core/files/file_chooser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace hl {
namespace {

struct ExpectedRow {
  ChooserKind kind;
  bool save;
  const char* title;
  const char* filter;
  unsigned flags;
  const char* defaultExtension;  // nullptr for none
  const char* firstPattern;      // the pattern of the first (description, pattern) pair
};

// The four choosers as the program offers them.
const ExpectedRow kRows[] = {
    {ChooserKind::OpenWave, false, "Open WAV File",
     "Audio files (*.wav;*.flac;*.mp3;*.ogg;*.oga;*.opus)|*.wav;*.flac;*.mp3;*.ogg;*.oga;*.opus|"
     "Wave Files (*.wav)|*.wav|All Files (*.*)|*.*|",
     0x2004, nullptr, "*.wav;*.flac;*.mp3;*.ogg;*.oga;*.opus"},
    {ChooserKind::SaveBitmap, true, "Save Bitmap",
     "Bitmap Files (*.bmp)|*.bmp|PNG Files (*.png)|*.png|All Files (*.*)|*.*||", 6, "bmp", "*.bmp"},
    {ChooserKind::SaveWave, true, "Save Windows Wave File",
     "Wave Files (*.wav)|*.wav|All Files (*.*)|*.*||", 6, "wav", "*.wav"},
    {ChooserKind::SaveDataLog, true, "Save Data Log",
     "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||", 6, "txt", "*.txt"},
};

class ChooserRow : public ::testing::TestWithParam<ExpectedRow> {};

TEST_P(ChooserRow, MatchesTheTableExactly) {
  const ExpectedRow& want = GetParam();
  const ChooserSpec& got = ChooserSpecOf(want.kind);
  EXPECT_EQ(got.save, want.save);
  ASSERT_NE(got.title, nullptr);
  EXPECT_STREQ(got.title, want.title);
  ASSERT_NE(got.filter, nullptr);
  EXPECT_STREQ(got.filter, want.filter);
  EXPECT_EQ(got.flags, want.flags);
  if (want.defaultExtension == nullptr) {
    EXPECT_EQ(got.defaultExtension, nullptr);
  } else {
    ASSERT_NE(got.defaultExtension, nullptr);
    EXPECT_STREQ(got.defaultExtension, want.defaultExtension);
  }
}

// Splits a prepared filter into its NUL-terminated strings, stopping at the empty one.
std::vector<std::string> FilterStrings(const char* prepared) {
  std::vector<std::string> strings;
  for (const char* p = prepared; *p != '\0'; p += std::strlen(p) + 1) strings.push_back(p);
  return strings;
}

// What the system dialog will read: two (description, pattern) pairs, the first for the
// chooser's own kind of file, whose pattern carries the extension a save adds, then "*.*".
TEST_P(ChooserRow, PreparedFilterListsTheKindThenAllFiles) {
  const ExpectedRow& want = GetParam();
  const ChooserSpec& chooser = ChooserSpecOf(want.kind);
  const size_t length = std::strlen(chooser.filter);
  ASSERT_LT(length, kChooserFilterCapacity) << "the shell's writable copy would cut it";
  char buffer[kChooserFilterCapacity] = {};
  std::memcpy(buffer, chooser.filter, length + 1);

  PrepareFilter(buffer);

  const std::vector<std::string> strings = FilterStrings(buffer);
  // "Save Bitmap" lists PNG between its own kind and all files, the open list wave files
  // between all audio files and all files.
  const bool threePairs = want.kind == ChooserKind::SaveBitmap || want.kind == ChooserKind::OpenWave;
  ASSERT_EQ(strings.size(), threePairs ? 6u : 4u);
  EXPECT_EQ(strings[1], want.firstPattern);
  EXPECT_NE(strings[0].find(std::string("(") + want.firstPattern + ")"), std::string::npos)
      << "description '" << strings[0] << "' does not name its pattern";
  EXPECT_EQ(strings[strings.size() - 2], "All Files (*.*)");
  EXPECT_EQ(strings.back(), "*.*");
  if (chooser.defaultExtension != nullptr) {
    EXPECT_EQ(std::string("*.") + chooser.defaultExtension, strings[1]);
  }
}

std::string RowName(const ::testing::TestParamInfo<ExpectedRow>& info) {
  switch (info.param.kind) {
    case ChooserKind::OpenWave:
      return "OpenWave";
    case ChooserKind::SaveBitmap:
      return "SaveBitmap";
    case ChooserKind::SaveWave:
      return "SaveWave";
    case ChooserKind::SaveDataLog:
      return "SaveDataLog";
  }
  return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(FileChooser, ChooserRow, ::testing::ValuesIn(kRows), RowName);

TEST(ChooserSpecOf, OpenPromptsToCreateAndSavesPromptToOverwrite) {
  // The flags decide which dialog asks what: open prompts to create, saves to overwrite.
  for (const ExpectedRow& row : kRows) {
    const ChooserSpec& chooser = ChooserSpecOf(row.kind);
    EXPECT_NE(chooser.flags & kChooserHideReadOnly, 0u) << row.title;
    EXPECT_EQ((chooser.flags & kChooserCreatePrompt) != 0, !chooser.save) << row.title;
    EXPECT_EQ((chooser.flags & kChooserOverwritePrompt) != 0, chooser.save) << row.title;
  }
}

// The open filter becomes the NUL-separated pairs ending in an empty string; bytes after the
// terminating NUL are left as they were (bars here), and a second call changes
// nothing.
TEST(PrepareFilter, TurnsBarsIntoNulsUpToTheTerminatingNulAndIsIdempotent) {
  const char source[] = "Wave Files (*.wav)|*.wav|All Files (*.*)|*.*|";
  char buffer[sizeof source + 3];
  std::memcpy(buffer, source, sizeof source);
  std::memset(buffer + sizeof source, '|', 3);  // bars beyond the end must survive

  const char expected[] = "Wave Files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0\0|||";
  static_assert(sizeof expected == sizeof buffer + 1, "expected covers the buffer and a NUL");

  PrepareFilter(buffer);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(expected, sizeof buffer));
  EXPECT_EQ(FilterStrings(buffer),
            (std::vector<std::string>{"Wave Files (*.wav)", "*.wav", "All Files (*.*)", "*.*"}));

  PrepareFilter(buffer);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(expected, sizeof buffer));
}

TEST(PrepareFilter, EdgeTexts) {
  struct Case {
    const char* name;
    const char* input;  // "|"-separated text
    std::string output;  // the bytes up to and including the terminating NUL
  };
  const Case cases[] = {
      {"empty", "", std::string("\0", 1)},
      {"no bar", "*.wav", std::string("*.wav\0", 6)},
      {"bars only", "||", std::string("\0\0\0", 3)},
      {"leading bar", "|*.wav", std::string("\0*.wav\0", 7)},
  };
  for (const Case& c : cases) {
    std::string buffer(c.input, std::strlen(c.input) + 1);
    PrepareFilter(&buffer[0]);
    EXPECT_EQ(buffer, c.output) << c.name;
  }
}

}  // namespace
}  // namespace hl
