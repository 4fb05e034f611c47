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
    // Too long: as much as fits.
    n = MultiByteToWideChar(kCodePage932, 0, text, lstrlenA(text), w.s, kWideTextSize - 1);
    w.s[n > 0 ? n : 0] = 0;
  }
  return w;
}
