// Conversions between the program's text, code page 932, and the host's
// text. The portable core never converts: it handles code page 932 bytes
// (platform/sjis.h) and leaves the host's form to the platform layer and the
// tools. On POSIX the host's form is UTF-8, converted with the C library's
// iconv; on Windows it is UTF-16 (platform/text_win.h), converted with the
// system's code page 932 tables whatever the system's own code page is.
#pragma once

#include <cstddef>
#include <string>

// Code page 932 text (up to `size` bytes or the first zero byte) as UTF-8; a
// byte that starts no character of the code page becomes U+FFFD. For showing
// text (tools, diagnostics).
std::string cp932ToUtf8(const char* text, size_t size);

// Strict conversions for names: false when a byte sequence is not code page
// 932 / a character has no code page 932 form.
bool cp932ToUtf8Strict(const char* text, size_t size, std::string* out);
bool utf8ToCp932(const char* text, size_t size, std::string* out);
// True when the `size` bytes are well-formed UTF-8 (ASCII text is).
bool isUtf8(const char* text, size_t size);
