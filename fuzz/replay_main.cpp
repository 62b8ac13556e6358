// Feeds saved inputs to LLVMFuzzerTestOneInput without libFuzzer, so builds without it
// (gcc, MinGW) run the corpus too. Arguments: files or directories (read one level deep).
// Exit status 1 when an argument cannot be read or no input was found.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int inputs = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      std::vector<std::filesystem::path> files;
      for (const auto& entry : std::filesystem::directory_iterator(arg, error)) {
        if (entry.is_regular_file(error)) files.push_back(entry.path());
      }
      if (error) {
        std::fprintf(stderr, "cannot list %s\n", arg.string().c_str());
        ok = false;
      }
      for (const auto& file : files) {
        ok = RunFile(file) && ok;
        ++inputs;
      }
    } else {
      ok = RunFile(arg) && ok;
      ++inputs;
    }
  }
  std::printf("replayed %d inputs\n", inputs);
  if (inputs == 0) {
    std::fprintf(stderr, "no inputs given\n");
    return 1;
  }
  return ok ? 0 : 1;
}
