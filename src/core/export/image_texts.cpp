#include "core/export/image_texts.h"

#include <cctype>
#include <cstdio>

namespace hl {

namespace {

std::string Ms(double value) {
  char text[48];
  std::snprintf(text, sizeof text, "%.10g ms", value);
  return text;
}

bool EndsWithNoCase(const std::string& name, const char* suffix) {
  const std::string s = suffix;
  if (name.size() < s.size()) return false;
  for (size_t i = 0; i < s.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(name[name.size() - s.size() + i])) != s[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<PngText> DescribeImage(const ImageDescription& d) {
  // tEXt holds Latin-1 without NUL: a name with a NUL in it cannot come from a file system,
  // but one is cut there rather than refused.
  std::string file = d.file.substr(0, d.file.find('\0'));
  return {
      {"File", file},
      {"Span", Ms(d.beginMs) + " to " + Ms(d.endMs)},
      {"FFT size", std::to_string(d.fftLength)},
      {"Mode", d.broadband ? "BB" : "NB"},
      {"Window", Ms(d.windowMs)},
      {"Time scale", Ms(d.timeScaleMs) + " per column"},
      {"Scheme", PaletteSchemeName(d.scheme)},
      {"Attenuation", std::to_string(d.attenuation) + " dB"},
      {"Software", kProgramVersion},
  };
}

ImageFormat ImageFormatOfName(const std::string& name, int filterIndex) {
  if (EndsWithNoCase(name, ".png")) return ImageFormat::Png;
  if (EndsWithNoCase(name, ".bmp")) return ImageFormat::Bmp;
  return filterIndex == 2 ? ImageFormat::Png : ImageFormat::Bmp;
}

}  // namespace hl
