// Code page 932 and UTF-8 through iconv.
#include <errno.h>
#include <iconv.h>

#include "platform/text.h"

#include <cstring>

#include "platform/sjis.h"

// Converts with one converter per call; `replace` turns an invalid sequence
// into U+FFFD (UTF-8 output only) instead of failing.
static bool convert(const char* to, const char* from, const char* text, size_t size, bool replace,
                    std::string* out) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  char buffer[256];
  char* in = const_cast<char*>(text);
  size_t inLeft = size;
  bool ok = true;
  while (inLeft > 0) {
    char* at = buffer;
    size_t outLeft = sizeof buffer;
    size_t n = iconv(cd, &in, &inLeft, &at, &outLeft);
    result.append(buffer, size_t(at - buffer));
    if (n != size_t(-1)) continue;
    if (errno == E2BIG) continue;
    if (!replace) {
      ok = false;
      break;
    }
    // A byte that starts no character becomes U+FFFD. A pair that is no
    // character goes with it unless its second byte is ASCII (it may be a
    // quote or a backslash), which is given back on its own.
    result += "\xEF\xBF\xBD";
    size_t skip = inLeft > 1 && sjisIsLeadByte(static_cast<unsigned char>(in[0])) &&
                          static_cast<unsigned char>(in[1]) >= 0x80
                      ? 2
                      : 1;
    in += skip;
    inLeft -= skip;
  }
  iconv_close(cd);
  if (ok) out->swap(result);
  return ok;
}

std::string cp932ToUtf8(const char* text, size_t size) {
  std::string out;
  size = strnlen(text, size);
  convert("UTF-8", "CP932", text, size, true, &out);
  return out;
}

bool cp932ToUtf8Strict(const char* text, size_t size, std::string* out) {
  return convert("UTF-8", "CP932", text, size, false, out);
}

bool utf8ToCp932(const char* text, size_t size, std::string* out) {
  return convert("CP932", "UTF-8", text, size, false, out);
}

bool isUtf8(const char* text, size_t size) {
  std::string same;
  return convert("UTF-8", "UTF-8", text, size, false, &same);
}
