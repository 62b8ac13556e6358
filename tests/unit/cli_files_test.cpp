// The command-line tool's file access: reads of an input that changes under it, and the
// temporary file of a replacement when the tool is interrupted.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/output_file.h"

namespace hl {
namespace {

namespace fs = std::filesystem;

class CliFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("hl-cli-files-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Make(const char* name, size_t size) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
    return path.string();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    return names;
  }
  fs::path dir_;
};

// A memory-mapped input killed the tool with SIGBUS when another process shortened the file
// during a render; a read of what the file no longer holds must fail instead.
TEST_F(CliFiles, AnInputShortenedWhileOpenGivesAFailedReadNotASignal) {
  const std::string path = Make("input.wav", 8192);
  InputFile input;
  ASSERT_TRUE(input.Open(path));
  std::vector<uint8_t> bytes(4096);
  ASSERT_TRUE(input.ReadAt(4096, bytes.size(), bytes.data()));
  std::error_code error;
  fs::resize_file(path, 2048, error);
#ifdef _WIN32
  // Opened without write sharing: nobody can shorten it while it is read.
  EXPECT_TRUE(error);
  EXPECT_TRUE(input.ReadAt(4096, bytes.size(), bytes.data()));
#else
  ASSERT_FALSE(error);
  EXPECT_FALSE(input.ReadAt(4096, bytes.size(), bytes.data()));
  EXPECT_FALSE(input.ReadAt(1024, bytes.size(), bytes.data()));  // begins inside, ends outside
  EXPECT_TRUE(input.ReadAt(0, 2048, bytes.data()));
#endif
}

#ifndef _WIN32
// A render interrupted while its image was written left the temporary file behind.
TEST_F(CliFiles, TemporaryFileIsRemovedWhenTheToolIsInterrupted) {
  const std::string target = Make("out.bmp", 7);
  for (int interruption : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallInterruptCleanup();
      TemporaryFile file;
      const uint8_t half[] = {'B', 'M'};
      const ByteChunk chunk{half, sizeof half};
      if (file.Create(target) != Message::None || !file.Write(&chunk, 1)) _exit(10);
      if (fs::directory_iterator(dir_) == fs::directory_iterator()) _exit(11);
      raise(interruption);
      _exit(12);  // not reached: the signal ends the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), interruption);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.bmp"}) << "signal " << interruption;
    EXPECT_EQ(fs::file_size(target), 7u);
  }
}

// An interruption that came just after the new image was moved into place ended the tool
// with the signal's failure status although the target held the complete image.
TEST_F(CliFiles, AnInterruptionAfterTheOutputIsInPlaceLetsTheToolEndNormally) {
  const std::string target = Make("out.bmp", 7);
  for (int interruption : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallInterruptCleanup();
      const uint8_t image[] = {'B', 'M', 1, 2};
      if (!WriteOutput(target, image, sizeof image).empty()) _exit(10);
      raise(interruption);
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << interruption;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(fs::file_size(target), 4u);
  }
}
#endif

}  // namespace
}  // namespace hl
