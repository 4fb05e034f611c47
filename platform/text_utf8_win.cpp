// Code page 932 and UTF-8 on Windows, through UTF-16, for the tools built
// for Windows (the script dump). Kept apart from text_win.cpp so that
// KSetup.exe, which has no use for std::string, does not link it.
#include <windows.h>

#include <string>

#include "platform/text.h"

enum : UINT { kCodePage932 = 932 };

static bool convert(UINT from, DWORD flags, const char* text, size_t size, UINT to, bool strict,
                    std::string* out) {
  out->clear();
  if (size == 0) return true;
  int units = MultiByteToWideChar(from, flags, text, static_cast<int>(size), nullptr, 0);
  if (units <= 0) return false;
  std::wstring wideText(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(from, flags, text, static_cast<int>(size), &wideText[0], units);
  BOOL replaced = FALSE;
  BOOL* check = strict && to != CP_UTF8 ? &replaced : nullptr;
  DWORD toFlags = strict && to != CP_UTF8 ? WC_NO_BEST_FIT_CHARS : 0;
  int bytes = WideCharToMultiByte(to, toFlags, wideText.c_str(), units, nullptr, 0, nullptr, check);
  if (bytes <= 0 || replaced) return false;
  out->assign(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(to, toFlags, wideText.c_str(), units, &(*out)[0], bytes, nullptr, check);
  return !replaced;
}

std::string cp932ToUtf8(const char* text, size_t size) {
  size_t n = 0;
  while (n < size && text[n]) n++;
  std::string out;
  convert(kCodePage932, 0, text, n, CP_UTF8, false, &out);
  return out;
}

bool cp932ToUtf8Strict(const char* text, size_t size, std::string* out) {
  return convert(kCodePage932, MB_ERR_INVALID_CHARS, text, size, CP_UTF8, true, out);
}

bool utf8ToCp932(const char* text, size_t size, std::string* out) {
  return convert(CP_UTF8, MB_ERR_INVALID_CHARS, text, size, kCodePage932, true, out);
}

bool isUtf8(const char* text, size_t size) {
  return size == 0 ||
         MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(size), nullptr, 0) > 0;
}
