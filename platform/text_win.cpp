#include "platform/text_win.h"

enum : UINT { kCodePage932 = 932 };


bool widen(const char* text, wchar_t* out, size_t size) {
  if (!out || size == 0) return false;
  out[0] = 0;
  if (!text) return true;
  int n = MultiByteToWideChar(kCodePage932, 0, text, -1, out, static_cast<int>(size));
  if (n <= 0) {
    out[0] = 0;
    return false;
  }
  return true;
}

bool narrow(const wchar_t* text, char* out, size_t size) {
  if (!out || size == 0) return false;
  out[0] = 0;
  if (!text) return true;
  BOOL replaced = FALSE;
  int n = WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, text, -1, out, static_cast<int>(size),
                              nullptr, &replaced);
  if (n <= 0 || replaced) {
    out[0] = 0;
    return false;
  }
  return true;
}

WideText wide(const char* text) {
  WideText w;
  w.s[0] = 0;
  if (!text) return w;
  int n = MultiByteToWideChar(kCodePage932, 0, text, -1, w.s, kWideTextSize);
  if (n <= 0) {
    // Too long: as much as fits. Every character of code page 932 (one
    // byte or two) is one UTF-16 unit, so the whole characters within the
    // first kWideTextSize - 1 bytes always fit.
    int bytes = 0;
    while (text[bytes]) {
      int length =
          IsDBCSLeadByteEx(kCodePage932, static_cast<BYTE>(text[bytes])) && text[bytes + 1] ? 2 : 1;
      if (bytes + length > kWideTextSize - 1) break;
      bytes += length;
    }
    n = MultiByteToWideChar(kCodePage932, 0, text, bytes, w.s, kWideTextSize - 1);
    w.s[n > 0 ? n : 0] = 0;
  }
  return w;
}
