// The painter behind the sample pictures (see art.h).
#include "samples/art.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_STATIC
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

static float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// ---- Colours and canvas ------------------------------------------------------------------

Colour rgb(uint32_t hex, float alpha) {
  return {float((hex >> 16) & 0xFF) / 255.0f, float((hex >> 8) & 0xFF) / 255.0f,
          float(hex & 0xFF) / 255.0f, alpha};
}

Colour mix(Colour from, Colour to, float t) {
  t = clamp01(t);
  return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
          from.b + (to.b - from.b) * t, from.a + (to.a - from.a) * t};
}

Colour withAlpha(Colour c, float alpha) { return {c.r, c.g, c.b, alpha}; }

Canvas makeCanvas(int width, int height, Colour fill) {
  Canvas c;
  c.width = width;
  c.height = height;
  c.pixels.resize(size_t(width) * size_t(height) * 4);
  for (size_t i = 0; i < c.pixels.size(); i += 4) {
    c.pixels[i] = fill.r * fill.a;
    c.pixels[i + 1] = fill.g * fill.a;
    c.pixels[i + 2] = fill.b * fill.a;
    c.pixels[i + 3] = fill.a;
  }
  return c;
}

void blendPixel(Canvas* canvas, int x, int y, Colour colour, float coverage) {
  if (x < 0 || y < 0 || x >= canvas->width || y >= canvas->height) return;
  float a = clamp01(colour.a * coverage);
  if (a <= 0) return;
  float* p = &canvas->pixels[(size_t(y) * size_t(canvas->width) + size_t(x)) * 4];
  float keep = 1 - a;
  p[0] = colour.r * a + p[0] * keep;
  p[1] = colour.g * a + p[1] * keep;
  p[2] = colour.b * a + p[2] * keep;
  p[3] = a + p[3] * keep;
}

void drawCanvas(Canvas* target, const Canvas& source, int x, int y) {
  for (int sy = 0; sy < source.height; sy++) {
    int ty = y + sy;
    if (ty < 0 || ty >= target->height) continue;
    for (int sx = 0; sx < source.width; sx++) {
      int tx = x + sx;
      if (tx < 0 || tx >= target->width) continue;
      const float* s = &source.pixels[(size_t(sy) * size_t(source.width) + size_t(sx)) * 4];
      float* t = &target->pixels[(size_t(ty) * size_t(target->width) + size_t(tx)) * 4];
      float keep = 1 - s[3];
      for (int k = 0; k < 4; k++) t[k] = s[k] + t[k] * keep;
    }
  }
}

Canvas cropCanvas(const Canvas& source, int x, int y, int width, int height) {
  Canvas c = makeCanvas(width, height, {0, 0, 0, 0});
  for (int row = 0; row < height; row++)
    for (int col = 0; col < width; col++) {
      int sx = x + col, sy = y + row;
      if (sx < 0 || sy < 0 || sx >= source.width || sy >= source.height) continue;
      const float* s = &source.pixels[(size_t(sy) * size_t(source.width) + size_t(sx)) * 4];
      std::copy(s, s + 4, &c.pixels[(size_t(row) * size_t(width) + size_t(col)) * 4]);
    }
  return c;
}

void shade(Canvas* canvas, const std::function<Colour(float, float)>& colourAt) {
  for (int y = 0; y < canvas->height; y++)
    for (int x = 0; x < canvas->width; x++) blendPixel(canvas, x, y, colourAt(x + 0.5f, y + 0.5f), 1);
}

void fillVertical(Canvas* canvas, const std::vector<std::pair<float, Colour>>& stops) {
  for (int y = 0; y < canvas->height; y++) {
    float t = (y + 0.5f) / float(canvas->height);
    Colour c = stops.front().second;
    for (size_t i = 1; i < stops.size(); i++) {
      if (t <= stops[i].first) {
        float span = stops[i].first - stops[i - 1].first;
        c = mix(stops[i - 1].second, stops[i].second,
                span > 0 ? (t - stops[i - 1].first) / span : 1);
        break;
      }
      c = stops[i].second;
    }
    for (int x = 0; x < canvas->width; x++) blendPixel(canvas, x, y, c, 1);
  }
}

void glow(Canvas* canvas, float cx, float cy, float radius, Colour colour) {
  int x0 = int(std::floor(cx - 2 * radius)), x1 = int(std::ceil(cx + 2 * radius));
  int y0 = int(std::floor(cy - 2 * radius)), y1 = int(std::ceil(cy + 2 * radius));
  for (int y = std::max(0, y0); y <= std::min(canvas->height - 1, y1); y++)
    for (int x = std::max(0, x0); x <= std::min(canvas->width - 1, x1); x++) {
      float dx = (x + 0.5f - cx) / radius, dy = (y + 0.5f - cy) / radius;
      blendPixel(canvas, x, y, colour, std::exp(-(dx * dx + dy * dy) * 2.5f));
    }
}

void star(Canvas* canvas, float x, float y, float core, Colour colour, float glint) {
  float reach = std::max(core * 6, glint) + 1;
  int x0 = int(std::floor(x - reach)), x1 = int(std::ceil(x + reach));
  int y0 = int(std::floor(y - reach)), y1 = int(std::ceil(y + reach));
  for (int py = std::max(0, y0); py <= std::min(canvas->height - 1, y1); py++)
    for (int px = std::max(0, x0); px <= std::min(canvas->width - 1, x1); px++) {
      float dx = px + 0.5f - x, dy = py + 0.5f - y;
      float d2 = dx * dx + dy * dy;
      float a = std::exp(-d2 / (core * core)) + 0.22f * std::exp(-d2 / (16 * core * core));
      if (glint > 0) {
        float along = 1 - std::fabs(dx) / glint, across = 1 - std::fabs(dy) / glint;
        if (along > 0) a += 0.8f * along * along * std::exp(-dy * dy / 0.35f);
        if (across > 0) a += 0.8f * across * across * std::exp(-dx * dx / 0.35f);
      }
      blendPixel(canvas, px, py, colour, clamp01(a));
    }
}

// ---- Masks -----------------------------------------------------------------------------

Mask makeMask(int width, int height) {
  Mask m;
  m.width = width;
  m.height = height;
  m.values.assign(size_t(width) * size_t(height), 0.0f);
  return m;
}

// Visits the pixels of a box (clipped to the mask) with their centres.
template <typename F>
static void eachPixel(Mask* mask, float left, float top, float right, float bottom, F f) {
  int x0 = std::max(0, int(std::floor(left))), x1 = std::min(mask->width - 1, int(std::ceil(right)));
  int y0 = std::max(0, int(std::floor(top))), y1 = std::min(mask->height - 1, int(std::ceil(bottom)));
  for (int y = y0; y <= y1; y++)
    for (int x = x0; x <= x1; x++) {
      float& v = mask->at(x, y);
      v = std::max(v, clamp01(f(x + 0.5f, y + 0.5f)));
    }
}

void maskCircle(Mask* mask, float cx, float cy, float radius) {
  eachPixel(mask, cx - radius - 1, cy - radius - 1, cx + radius + 1, cy + radius + 1,
            [&](float x, float y) { return radius + 0.5f - std::hypot(x - cx, y - cy); });
}

void maskRoundRect(Mask* mask, float left, float top, float right, float bottom, float radius) {
  float cx = (left + right) / 2, cy = (top + bottom) / 2;
  float hx = (right - left) / 2 - radius, hy = (bottom - top) / 2 - radius;
  eachPixel(mask, left - 1, top - 1, right + 1, bottom + 1, [&](float x, float y) {
    float qx = std::fabs(x - cx) - hx, qy = std::fabs(y - cy) - hy;
    float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
    float inside = std::min(std::max(qx, qy), 0.0f);
    return 0.5f - (outside + inside - radius);
  });
}

void maskLine(Mask* mask, float x0, float y0, float x1, float y1, float width) {
  float half = width / 2;
  float dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
  eachPixel(mask, std::min(x0, x1) - half - 1, std::min(y0, y1) - half - 1,
            std::max(x0, x1) + half + 1, std::max(y0, y1) + half + 1, [&](float x, float y) {
              float t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0;
              t = clamp01(t);
              return half + 0.5f - std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
            });
}

void maskBelow(Mask* mask, const std::function<float(float)>& top) {
  for (int x = 0; x < mask->width; x++) {
    float t = top(x + 0.5f);
    float slope = top(x + 1.0f) - top(float(x));
    float norm = std::sqrt(1 + slope * slope);
    for (int y = std::max(0, int(std::floor(t)) - 2); y < mask->height; y++) {
      float& v = mask->at(x, y);
      v = std::max(v, clamp01(0.5f + (y + 0.5f - t) / norm));
    }
  }
}

void maskCut(Mask* mask, const Mask& other) {
  for (size_t i = 0; i < mask->values.size() && i < other.values.size(); i++)
    mask->values[i] *= 1 - other.values[i];
}

// One box pass along rows (horizontal) or columns, zero outside.
static void boxPass(Mask* mask, int radius, bool horizontal) {
  int lines = horizontal ? mask->height : mask->width;
  int length = horizontal ? mask->width : mask->height;
  std::vector<float> line(size_t(length) + 2 * size_t(radius) + 1, 0.0f);
  float scale = 1.0f / float(2 * radius + 1);
  for (int l = 0; l < lines; l++) {
    for (int i = 0; i < length; i++)
      line[size_t(i) + size_t(radius)] = horizontal ? mask->at(i, l) : mask->at(l, i);
    float sum = 0;
    for (int i = 0; i < 2 * radius; i++) sum += line[size_t(i)];
    for (int i = 0; i < length; i++) {
      sum += line[size_t(i) + 2 * size_t(radius)];
      float v = sum * scale;
      (horizontal ? mask->at(i, l) : mask->at(l, i)) = v;
      sum -= line[size_t(i)];
    }
  }
}

void blurMask(Mask* mask, float radius) {
  int r = std::max(1, int(std::lround(radius * 0.85f)));
  for (int pass = 0; pass < 3; pass++) {
    boxPass(mask, r, true);
    boxPass(mask, r, false);
  }
}

void gainMask(Mask* mask, float gain) {
  for (float& v : mask->values) v = clamp01(v * gain);
}

void paint(Canvas* canvas, const Mask& mask, Colour colour, int dx, int dy) {
  for (int y = 0; y < mask.height; y++)
    for (int x = 0; x < mask.width; x++) {
      float v = mask.at(x, y);
      if (v > 0) blendPixel(canvas, x + dx, y + dy, colour, v);
    }
}

void paintShaded(Canvas* canvas, const Mask& mask, const std::function<Colour(float, float)>& colourAt,
                 int dx, int dy) {
  for (int y = 0; y < mask.height; y++)
    for (int x = 0; x < mask.width; x++) {
      float v = mask.at(x, y);
      if (v > 0) blendPixel(canvas, x + dx, y + dy, colourAt(x + dx + 0.5f, y + dy + 0.5f), v);
    }
}

void paintShadow(Canvas* canvas, const Mask& mask, Colour colour, float blur, int dx, int dy) {
  Mask soft = mask;
  blurMask(&soft, blur);
  paint(canvas, soft, colour, dx, dy);
}

// ---- Text ------------------------------------------------------------------------------

bool loadFont(const std::string& path, Font* font, std::string* error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open the font " + path;
    return false;
  }
  font->data.clear();
  unsigned char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) font->data.insert(font->data.end(), buffer, buffer + n);
  fclose(f);
  int offset = stbtt_GetFontOffsetForIndex(font->data.data(), 0);
  if (offset < 0 || !stbtt_InitFont(&font->info, font->data.data(), offset)) {
    *error = "not a TrueType font: " + path;
    return false;
  }
  return true;
}

// UTF-8 to code points; a malformed byte stands for itself.
static std::vector<int> codePoints(const std::string& text) {
  std::vector<int> out;
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    int cp = extra ? c & (0x3F >> extra) : c;
    if (extra && i + size_t(extra) >= text.size()) {
      extra = 0;
      cp = c;
    }
    for (int k = 1; k <= extra; k++) cp = (cp << 6) | (static_cast<unsigned char>(text[i + size_t(k)]) & 0x3F);
    out.push_back(cp);
    i += size_t(extra) + 1;
  }
  return out;
}

float textWidth(const Font& font, const std::string& text, float size, float tracking) {
  float scale = stbtt_ScaleForMappingEmToPixels(&font.info, size);
  std::vector<int> cps = codePoints(text);
  float width = 0;
  for (size_t i = 0; i < cps.size(); i++) {
    int advance, bearing;
    stbtt_GetCodepointHMetrics(&font.info, cps[i], &advance, &bearing);
    width += float(advance) * scale;
    if (i + 1 < cps.size())
      width += float(stbtt_GetCodepointKernAdvance(&font.info, cps[i], cps[i + 1])) * scale + tracking;
  }
  return width;
}

float textAscent(const Font& font, float size) {
  int ascent, descent, gap;
  stbtt_GetFontVMetrics(&font.info, &ascent, &descent, &gap);
  return float(ascent) * stbtt_ScaleForMappingEmToPixels(&font.info, size);
}

static void maskTextOnce(Mask* mask, const Font& font, const std::vector<int>& cps, float x,
                         float baseline, float size, float tracking) {
  float scale = stbtt_ScaleForMappingEmToPixels(&font.info, size);
  float pen = x;
  std::vector<unsigned char> glyph;
  for (size_t i = 0; i < cps.size(); i++) {
    int advance, bearing;
    stbtt_GetCodepointHMetrics(&font.info, cps[i], &advance, &bearing);
    float left = std::floor(pen), top = std::floor(baseline);
    float shiftX = pen - left, shiftY = baseline - top;
    int x0, y0, x1, y1;
    stbtt_GetCodepointBitmapBoxSubpixel(&font.info, cps[i], scale, scale, shiftX, shiftY, &x0, &y0, &x1,
                                        &y1);
    int w = x1 - x0, h = y1 - y0;
    if (w > 0 && h > 0) {
      glyph.assign(size_t(w) * size_t(h), 0);
      stbtt_MakeCodepointBitmapSubpixel(&font.info, glyph.data(), w, h, w, scale, scale, shiftX, shiftY,
                                        cps[i]);
      for (int gy = 0; gy < h; gy++)
        for (int gx = 0; gx < w; gx++) {
          int mx = int(left) + x0 + gx, my = int(top) + y0 + gy;
          if (mx < 0 || my < 0 || mx >= mask->width || my >= mask->height) continue;
          float v = glyph[size_t(gy) * size_t(w) + size_t(gx)] / 255.0f;
          float& m = mask->at(mx, my);
          m = std::max(m, v);
        }
    }
    pen += float(advance) * scale;
    if (i + 1 < cps.size())
      pen += float(stbtt_GetCodepointKernAdvance(&font.info, cps[i], cps[i + 1])) * scale + tracking;
  }
}

void maskText(Mask* mask, const Font& font, const std::string& text, float x, float baseline,
              float size, float tracking, float weight) {
  std::vector<int> cps = codePoints(text);
  for (float oy = 0; oy <= weight * 0.5f + 0.001f; oy += 0.5f)
    for (float ox = 0; ox <= weight + 0.001f; ox += 0.5f)
      maskTextOnce(mask, font, cps, x + ox, baseline + oy, size, tracking);
}

// ---- Output ----------------------------------------------------------------------------

static uint32_t byteOf(float v) { return uint32_t(std::lround(clamp01(v) * 255.0f)); }

std::vector<uint32_t> toPicture(const Canvas& canvas, bool opaque) {
  std::vector<uint32_t> picture(size_t(canvas.width) * size_t(canvas.height));
  for (int y = 0; y < canvas.height; y++) {
    uint32_t* row = &picture[size_t(canvas.height - 1 - y) * size_t(canvas.width)];
    for (int x = 0; x < canvas.width; x++) {
      const float* p = &canvas.pixels[(size_t(y) * size_t(canvas.width) + size_t(x)) * 4];
      float a = opaque ? 1.0f : p[3];
      uint32_t alpha = byteOf(a);
      if (alpha == 0) {
        row[x] = 0;
        continue;
      }
      float unmultiply = opaque ? 1.0f : 1.0f / a;
      row[x] = (alpha << 24) | (byteOf(p[0] * unmultiply) << 16) | (byteOf(p[1] * unmultiply) << 8) |
               byteOf(p[2] * unmultiply);
    }
  }
  return picture;
}

uint64_t Random::next() {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

float Random::uniform() { return float(next() >> 40) / float(1ull << 24); }
