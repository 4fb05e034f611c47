#include "tools/lib/gif_writer.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tools/lib/host_files.h"

// ---- GIF animation -------------------------------------------------------------------
// Each frame keeps only the rectangle that differs from the frame before, so
// the run holds little more than one full frame; the palette is chosen once
// all frames are known.

void recordGifFrame(GifRecording* g, const Surface* surface) {
  int32_t w = surface->width, h = surface->height;
  std::vector<uint32_t> now(size_t(w) * h);
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++)
      now[size_t(y) * w + x] = surface->bits[size_t(h - 1 - y) * w + x] & 0xFFFFFFu;
  int32_t left = 0, top = 0, right = w, bottom = h;
  if (!g->frames.empty()) {
    left = w, top = h, right = 0, bottom = 0;
    for (int32_t y = 0; y < h; y++)
      for (int32_t x = 0; x < w; x++)
        if (now[size_t(y) * w + x] != g->previous[size_t(y) * w + x]) {
          if (x < left) left = x;
          if (x >= right) right = x + 1;
          if (y < top) top = y;
          if (y >= bottom) bottom = y + 1;
        }
    if (right == 0) left = top = 0, right = bottom = 1;  // unchanged: one pixel, same colour
  }
  GifFrame f = {left, top, right - left, bottom - top, {}};
  for (int32_t y = top; y < bottom; y++)
    f.rgb.insert(f.rgb.end(), now.begin() + size_t(y) * w + left,
                 now.begin() + size_t(y) * w + right);
  g->frames.push_back(std::move(f));
  g->previous.swap(now);
  g->width = w;
  g->height = h;
}

struct BitWriter {
  std::string bytes;
  uint32_t pending = 0;
  int count = 0;
  void put(uint32_t code, int size) {
    pending |= code << count;
    count += size;
    while (count >= 8) {
      bytes.push_back(char(pending & 255));
      pending >>= 8;
      count -= 8;
    }
  }
  void flush() {
    if (count > 0) bytes.push_back(char(pending & 255));
    pending = 0;
    count = 0;
  }
};

// LZW with 8-bit symbols as GIF wants it: codes from 9 to 12 bits, the table
// cleared when it is full.
static std::string lzwEncode(const std::vector<uint8_t>& indexes) {
  const uint32_t kClear = 256, kEnd = 257;
  std::vector<uint16_t> table(4096 * 256, 0);
  BitWriter out;
  int size = 9;
  uint32_t next = kEnd + 1;
  out.put(kClear, size);
  uint32_t prefix = indexes[0];
  for (size_t i = 1; i < indexes.size(); i++) {
    uint32_t key = prefix * 256 + indexes[i];
    if (table[key]) {
      prefix = table[key];
      continue;
    }
    out.put(prefix, size);
    if (next < 4096) {
      table[key] = uint16_t(next++);
      if (next > (1u << size) && size < 12) size++;
    } else {
      out.put(kClear, size);
      std::fill(table.begin(), table.end(), 0);
      size = 9;
      next = kEnd + 1;
    }
    prefix = indexes[i];
  }
  out.put(prefix, size);
  out.put(kEnd, size);
  out.flush();
  return out.bytes;
}

static void putShort(std::string* s, uint32_t v) {
  s->push_back(char(v & 255));
  s->push_back(char((v >> 8) & 255));
}

bool writeGif(const std::string& path, const GifRecording& g, uint32_t tickMs, std::string* error) {
  // Exact colours when they fit, else a 6 x 7 x 6 cube.
  std::map<uint32_t, uint8_t> exact;
  for (const GifFrame& f : g.frames) {
    for (uint32_t c : f.rgb)
      if (exact.size() <= 256) exact.emplace(c, 0);
    if (exact.size() > 256) break;
  }
  bool useExact = exact.size() <= 256;
  std::string palette(256 * 3, '\0');
  if (useExact) {
    int n = 0;
    for (auto& entry : exact) {
      entry.second = uint8_t(n);
      palette[n * 3] = char(entry.first >> 16);
      palette[n * 3 + 1] = char(entry.first >> 8);
      palette[n * 3 + 2] = char(entry.first);
      n++;
    }
  } else {
    for (int i = 0; i < 252; i++) {
      palette[i * 3] = char((i / 42) * 255 / 5);
      palette[i * 3 + 1] = char((i / 6 % 7) * 255 / 6);
      palette[i * 3 + 2] = char((i % 6) * 255 / 5);
    }
  }
  auto indexOf = [&](uint32_t c) -> uint8_t {
    if (useExact) return exact.find(c)->second;
    uint32_t r = ((c >> 16 & 255) * 5 + 127) / 255, gr = ((c >> 8 & 255) * 6 + 127) / 255,
             b = ((c & 255) * 5 + 127) / 255;
    return uint8_t(r * 42 + gr * 6 + b);
  };

  std::string gif = "GIF89a";
  putShort(&gif, uint32_t(g.width));
  putShort(&gif, uint32_t(g.height));
  gif += "\xF7";
  gif.push_back('\0');  // background colour
  gif.push_back('\0');  // aspect ratio
  gif += palette;
  gif += std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
  uint32_t delay = (tickMs + 5) / 10;
  for (const GifFrame& f : g.frames) {
    gif += "\x21\xF9\x04\x04";  // kept in place for the next frame
    putShort(&gif, delay > 65535 ? 65535 : delay);
    gif.push_back('\0');
    gif.push_back('\0');
    gif.push_back('\x2C');
    putShort(&gif, uint32_t(f.left));
    putShort(&gif, uint32_t(f.top));
    putShort(&gif, uint32_t(f.width));
    putShort(&gif, uint32_t(f.height));
    gif.push_back('\0');
    gif.push_back('\x08');  // LZW minimum code size
    std::vector<uint8_t> indexes(f.rgb.size());
    for (size_t i = 0; i < f.rgb.size(); i++) indexes[i] = indexOf(f.rgb[i]);
    std::string data = lzwEncode(indexes);
    for (size_t at = 0; at < data.size(); at += 255) {
      size_t n = data.size() - at < 255 ? data.size() - at : 255;
      gif.push_back(char(n));
      gif.append(data, at, n);
    }
    gif.push_back('\0');
  }
  gif.push_back('\x3B');
  if (!writeWholeFile(path, gif.data(), gif.size())) {
    *error = strerror(errno);
    return false;
  }
  return true;
}
