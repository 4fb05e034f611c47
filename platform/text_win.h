// The Windows layer's one conversion between the program's code page 932
// text and the system's UTF-16: every text shown and every name handed to
// the system goes through widen, every name that comes back through narrow,
// with the system's code page 932 tables whatever code page the system
// itself uses.
#pragma once

#include <windows.h>

#include <cstddef>

enum { kWideTextSize = 1024 };

// Code page 932 text as UTF-16 in `out` of `size` characters. False, with
// `out` emptied, when it does not fit.
bool widen(const char* text, wchar_t* out, size_t size);
// UTF-16 as code page 932 in `out` of `size` bytes. False, with `out`
// emptied, when a character has no code page 932 form (nothing is replaced
// by a look-alike) or it does not fit.
bool narrow(const wchar_t* text, char* out, size_t size);

// A text for one call, such as a message box's text and caption:
// MessageBoxW(owner, wide(text).s, wide(caption).s, MB_OK). Cut to fit.
struct WideText {
  wchar_t s[kWideTextSize];
};
WideText wide(const char* text);
