// The values and names the command line gives: numbers in plain decimal only, and output
// names whose extension fits the command.
#pragma once

#include <string>

namespace hl {

// Plain decimal: an optional minus, digits, optionally a point and digits; nothing else (no
// sign "+", spaces, exponent, hexadecimal, "inf" or "nan").
bool ParseDecimal(const std::string& text, double* value);
// A plain decimal whole number within low..high.
bool ParseWholeIn(const std::string& text, double low, double high, double* value);

// The extension of a path in lower case, with its dot ("" when none).
std::string LowerExtension(const std::string& path);

// "" when `output` may be written by `command` (render, levels, spectrum, generate), else
// the line saying what is wrong: an empty name, or an extension another command's files
// have (levels takes .csv and .npy only, as its format follows the extension). "-" is
// standard output.
std::string CheckOutputName(const std::string& command, const std::string& option, const std::string& output);

}  // namespace hl
