#include "tools/lib/epa_encode.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "media/epa.h"

// ---- Plane stream -----------------------------------------------------------
//
// An optimal parse by cost in bytes, computed from the end backwards: cost[i]
// is the size of the cheapest stream for planes[i..]. At each position the
// candidates are literal runs of 1 to 15 bytes (1 + n bytes), short copies of
// 1 to 7 bytes (1 byte) with the longest match found, and for every distance
// its whole match up to 2047 bytes (2 bytes when longer than 7). Match
// lengths per distance are carried from position i + 1 to i, so all fifteen
// distances are tried everywhere at a constant cost per position.

namespace {

struct Step {
  uint16_t length;
  uint8_t code;  // 0: literal run; else the distance code of a copy
};

}  // namespace

std::string packPlanes(const uint8_t* planes, size_t size, uint32_t width) {
  // The decoder's distance table; distances that wrap to 0 or beyond the
  // data for very narrow planes are simply never matched.
  const uint64_t w = width;
  const int64_t distance[16] = {0,         1,         int64_t(w),     int64_t(w + 1),
                                2,         int64_t(w) - 1, int64_t(2 * w), 3,
                                int64_t(2 * w + 2), int64_t(w + 2), int64_t(2 * w + 1),
                                int64_t(2 * w) - 1, int64_t(2 * w) - 2, int64_t(w) - 2,
                                int64_t(3 * w), 4};

  std::vector<uint32_t> cost(size + 1);
  std::vector<Step> step(size);
  uint32_t match[16] = {};
  cost[size] = 0;
  for (size_t i = size; i-- > 0;) {
    uint32_t best = UINT32_MAX;
    Step choice = {0, 0};

    const size_t maxRun = std::min<size_t>(15, size - i);
    for (size_t n = 1; n <= maxRun; n++) {
      uint32_t c = uint32_t(1 + n) + cost[i + n];
      if (c < best) best = c, choice = {uint16_t(n), 0};
    }

    uint32_t longest = 0;
    uint8_t longestCode = 0;
    for (uint8_t code = 1; code < 16; code++) {
      const int64_t d = distance[code];
      uint32_t m = 0;
      if (d > 0 && uint64_t(d) <= i && planes[i] == planes[i - size_t(d)])
        m = std::min<uint32_t>(match[code] + 1, kEpaMaxCopy);
      match[code] = m;
      if (m > longest) longest = m, longestCode = code;
      if (m > 7) {
        uint32_t c = 2 + cost[i + m];
        if (c <= best) best = c, choice = {uint16_t(m), code};
      }
    }
    for (uint32_t n = 1; n <= std::min<uint32_t>(longest, 7); n++) {
      uint32_t c = 1 + cost[i + n];
      if (c <= best) best = c, choice = {uint16_t(n), longestCode};
    }
    cost[i] = best;
    step[i] = choice;
  }

  std::string stream;
  stream.reserve(cost[0]);
  for (size_t i = 0; i < size; i += step[i].length) {
    const Step s = step[i];
    if (s.code == 0) {
      stream += char(s.length);
      stream.append(reinterpret_cast<const char*>(planes + i), s.length);
    } else if (s.length <= 7) {
      stream += char(s.code << 4 | s.length);
    } else {
      stream += char(s.code << 4 | 8 | s.length >> 8);
      stream += char(s.length & 0xFF);
    }
  }
  return stream;
}

// ---- Pictures ---------------------------------------------------------------

// The distinct colours (alpha ignored), sorted; false once there are more
// than `limit`.
static bool distinctColours(const uint32_t* picture, size_t count, size_t limit,
                            std::vector<uint32_t>* colours) {
  std::unordered_set<uint32_t> seen;
  for (size_t i = 0; i < count; i++) {
    if (seen.insert(picture[i] & 0xFFFFFF).second && seen.size() > limit) return false;
  }
  colours->assign(seen.begin(), seen.end());
  std::sort(colours->begin(), colours->end());
  return true;
}

static bool anyTranslucent(const uint32_t* picture, size_t count) {
  for (size_t i = 0; i < count; i++)
    if ((picture[i] >> 24) != 0xFF) return true;
  return false;
}

int chooseEpaMode(const uint32_t* picture, uint32_t width, uint32_t height) {
  const size_t count = size_t(width) * height;
  if (anyTranslucent(picture, count)) return 2;
  std::vector<uint32_t> colours;
  return distinctColours(picture, count, 256, &colours) ? 0 : 1;
}

static void putLe32(std::string* s, uint32_t v) {
  for (int i = 0; i < 4; i++) *s += char(v >> (8 * i));
}

bool encodeEpa(const uint32_t* picture, uint32_t width, uint32_t height, int mode,
               std::string* epa, std::string* error) {
  if (width == 0 || height == 0 || uint64_t(width) * height > kEpaMaxPixels) {
    *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
             " is empty or larger than " + std::to_string(int(kEpaMaxPixels)) + " pixels";
    return false;
  }
  if (mode < 0 || mode > 2) {
    *error = "unknown mode " + std::to_string(mode);
    return false;
  }
  const size_t count = size_t(width) * height;
  if (mode != 2 && anyTranslucent(picture, count)) {
    *error = "picture has alpha below 255, which only mode 2 keeps";
    return false;
  }
  std::vector<uint32_t> colours;
  if (mode == 0 && !distinctColours(picture, count, 256, &colours)) {
    *error = "picture has more than 256 colours, which mode 0 cannot hold";
    return false;
  }

  const uint32_t planeCount = mode == 0 ? 1 : mode == 1 ? 3 : 4;
  std::vector<uint8_t> planes(count * planeCount);
  // Plane rows run top to bottom; picture rows bottom-up.
  for (uint32_t t = 0; t < height; t++) {
    const uint32_t* row = picture + size_t(height - 1 - t) * width;
    uint8_t* dst = planes.data() + size_t(t) * width;
    for (uint32_t x = 0; x < width; x++) {
      const uint32_t p = row[x];
      if (mode == 0) {
        dst[x] = uint8_t(std::lower_bound(colours.begin(), colours.end(), p & 0xFFFFFF) -
                         colours.begin());
      } else {
        for (uint32_t k = 0; k < planeCount; k++) dst[x + k * count] = uint8_t(p >> (8 * k));
      }
    }
  }

  epa->clear();
  *epa += "EP";
  *epa += char(1);
  *epa += char(1);
  *epa += char(mode);
  const uint8_t used = uint8_t(colours.size());  // 256 is stored as 0
  *epa += char(mode == 0 ? used : 0);
  *epa += char(mode == 0 ? used : 0);
  *epa += char(0);
  putLe32(epa, width);
  putLe32(epa, height);
  if (mode == 0) {
    std::string palette(kEpaPaletteSize, '\0');
    for (size_t i = 0; i < colours.size(); i++) {
      palette[3 * i] = char(colours[i]);
      palette[3 * i + 1] = char(colours[i] >> 8);
      palette[3 * i + 2] = char(colours[i] >> 16);
    }
    *epa += palette;
  }
  *epa += packPlanes(planes.data(), planes.size(), width);
  return true;
}
