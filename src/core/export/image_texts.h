// What a saved image says about the analysis that made it (the PNG's tEXt chunks), and
// which format a chosen file name asks for.
#pragma once

#include <string>
#include <vector>

#include "core/image/palette.h"
#include "core/image/png_file.h"

namespace hl {

constexpr char kProgramVersion[] = "Harrowlight 3.2.1";

struct ImageDescription {
  std::string file;       // the analysed file as the user named it
  double beginMs = 0, endMs = 0;
  int fftLength = 512;
  bool broadband = false;  // "BB"; "NB" otherwise
  float windowMs = 0;
  float timeScaleMs = 12.0f;
  PaletteScheme scheme = PaletteScheme::CB;
  int attenuation = 0;
};

// "File", "Span", "FFT size", "Mode", "Window", "Time scale", "Scheme", "Attenuation" and
// "Software", in that order.
std::vector<PngText> DescribeImage(const ImageDescription& d);

enum class ImageFormat { Bmp, Png };

// ".png" or ".bmp" at the end of the name (any case) decide; a name with neither takes the
// format of the chooser's filter (1-based index into "*.bmp", "*.png", "*.*"), BMP for
// "All Files".
ImageFormat ImageFormatOfName(const std::string& name, int filterIndex = 1);

}  // namespace hl
