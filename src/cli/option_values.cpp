#include "cli/option_values.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace hl {

bool ParseDecimal(const std::string& text, double* value) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  size_t digits = 0, point = 0;
  for (; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++digits;
    } else if (text[i] == '.' && point == 0) {
      point = 1;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  *value = std::strtod(text.c_str(), nullptr);
  return std::isfinite(*value);
}

bool ParseWholeIn(const std::string& text, double low, double high, double* value) {
  return ParseDecimal(text, value) && *value >= low && *value <= high && *value == std::floor(*value);
}

std::string LowerExtension(const std::string& path) {
  std::string ext = std::filesystem::u8path(path).extension().u8string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

namespace {

struct CommandOutput {
  const char* command;
  const char* extensions[2];
  const char* names;  // how the message names them
};
const CommandOutput kOutputs[] = {
    {"render", {".bmp", ".png"}, ".bmp or .png"},
    {"levels", {".csv", ".npy"}, ".csv or .npy"},
    {"spectrum", {".txt", nullptr}, ".txt"},
    {"generate", {".wav", nullptr}, ".wav"},
};

}  // namespace

std::string CheckOutputName(const std::string& command, const std::string& option, const std::string& output) {
  if (output.empty()) return option + " \"\": the output needs a name (- for standard output)";
  if (output == "-") return "";
  const std::string ext = LowerExtension(output);
  const CommandOutput* mine = nullptr;
  bool own = false, other = false;
  for (const CommandOutput& o : kOutputs) {
    const bool match = (o.extensions[0] && ext == o.extensions[0]) || (o.extensions[1] && ext == o.extensions[1]);
    if (command == o.command) mine = &o, own = match;
    else other = other || match;
  }
  // levels picks CSV or NumPy by the extension: under any other name its table would be misnamed.
  if (own || (!other && command != "levels") || !mine) return "";
  return option + " " + output + ": " + command + " writes " + mine->names + " files";
}

}  // namespace hl
