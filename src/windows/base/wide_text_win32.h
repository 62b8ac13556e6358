// Names as the program holds them (UTF-8, the core's byte-oriented paths) and as the wide
// system calls take and return them (UTF-16). Every call that carries a file name or a
// caption converts at the call, with these two, so a name outside the system code page
// survives. Malformed input becomes U+FFFD rather than being cut or refused here: a name
// that no longer matches a file then fails where the file is opened, with that message.
#pragma once

#include <windows.h>

#include <string>

namespace hl {

inline std::wstring Wide(const char* utf8) {
  if (utf8 == nullptr || *utf8 == '\0') return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));  // the NUL the count included
  return wide;
}

inline std::wstring Wide(const std::string& utf8) { return Wide(utf8.c_str()); }

inline std::string Utf8(const wchar_t* wide) {
  if (wide == nullptr || *wide == L'\0') return std::string();
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return std::string();
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, &utf8[0], length, nullptr, nullptr);
  utf8.resize(static_cast<size_t>(length - 1));
  return utf8;
}

inline std::string Utf8(const std::wstring& wide) { return Utf8(wide.c_str()); }

}  // namespace hl
