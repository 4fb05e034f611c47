// A small painter for the sample disc set's pictures: a floating-point
// canvas, anti-aliased shapes drawn as coverage masks, blurs for glows and
// soft shadows, and text from a TrueType font. Everything is drawn in code,
// so the pictures are made afresh at build time and nothing binary is kept.
#pragma once

#include <stb_truetype.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A colour with straight (not premultiplied) alpha, channels 0..1.
struct Colour {
  float r, g, b, a;
};

// 0xRRGGBB with an alpha.
Colour rgb(uint32_t hex, float alpha = 1.0f);
Colour mix(Colour from, Colour to, float t);
Colour withAlpha(Colour c, float alpha);

// Premultiplied RGBA, four floats a pixel, top row first.
struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<float> pixels;
};

Canvas makeCanvas(int width, int height, Colour fill);
// Source-over of one colour with a coverage at one pixel (outside: nothing).
void blendPixel(Canvas* canvas, int x, int y, Colour colour, float coverage);
// Source-over of another canvas at (x, y).
void drawCanvas(Canvas* target, const Canvas& source, int x, int y);
// A piece of a canvas as a new canvas.
Canvas cropCanvas(const Canvas& source, int x, int y, int width, int height);

// Every pixel gets colourAt(x + 0.5, y + 0.5) blended over it.
void shade(Canvas* canvas, const std::function<Colour(float x, float y)>& colourAt);
// A top-to-bottom gradient through stops (position 0..1 of the height, colour).
void fillVertical(Canvas* canvas, const std::vector<std::pair<float, Colour>>& stops);
// A soft round light: alpha falls off as exp(-(d / radius)^2 * 2.5).
void glow(Canvas* canvas, float cx, float cy, float radius, Colour colour);
// A star: a small round core with a faint halo, and when `glint` is above 0
// four thin rays of that length.
void star(Canvas* canvas, float x, float y, float core, Colour colour, float glint);

// Coverage 0..1 per pixel, top row first. Shapes are combined by maximum.
struct Mask {
  int width = 0;
  int height = 0;
  std::vector<float> values;
  float& at(int x, int y) { return values[size_t(y) * size_t(width) + size_t(x)]; }
  float at(int x, int y) const { return values[size_t(y) * size_t(width) + size_t(x)]; }
};

Mask makeMask(int width, int height);
void maskCircle(Mask* mask, float cx, float cy, float radius);
void maskRoundRect(Mask* mask, float left, float top, float right, float bottom, float radius);
// A line with round ends, `width` thick.
void maskLine(Mask* mask, float x0, float y0, float x1, float y1, float width);
// Everything below the curve y = top(x) (a silhouette such as a hill).
void maskBelow(Mask* mask, const std::function<float(float x)>& top);
// mask = mask * (1 - other): cuts one shape out of another.
void maskCut(Mask* mask, const Mask& other);
// Three box passes: close to a Gaussian of about `radius` pixels.
void blurMask(Mask* mask, float radius);
// Multiplies the coverage and clamps it to 1 (thickens soft edges).
void gainMask(Mask* mask, float gain);

// The mask's coverage painted in one colour, moved by (dx, dy).
void paint(Canvas* canvas, const Mask& mask, Colour colour, int dx = 0, int dy = 0);
// The same with a colour per pixel (canvas coordinates).
void paintShaded(Canvas* canvas, const Mask& mask,
                 const std::function<Colour(float x, float y)>& colourAt, int dx = 0, int dy = 0);
// A soft shadow of the mask: blurred, moved, painted under what follows.
void paintShadow(Canvas* canvas, const Mask& mask, Colour colour, float blur, int dx, int dy);

// ---- Text ------------------------------------------------------------------------------

struct Font {
  std::vector<unsigned char> data;
  stbtt_fontinfo info;
};

// Loads the first font of a TrueType file; false with a reason.
bool loadFont(const std::string& path, Font* font, std::string* error);
// Width in pixels of UTF-8 text at `size` pixels (em height), with `tracking`
// pixels added between characters.
float textWidth(const Font& font, const std::string& text, float size, float tracking = 0);
// Ascent above the baseline at `size` pixels.
float textAscent(const Font& font, float size);
// Draws UTF-8 text with its baseline at `baseline` and its left edge at x.
// `weight` above 0 thickens the strokes by drawing the text again moved by up
// to that many pixels.
void maskText(Mask* mask, const Font& font, const std::string& text, float x, float baseline,
              float size, float tracking = 0, float weight = 0);

// ---- Output -----------------------------------------------------------------------------

// The canvas as the program's pictures are held: 0xAARRGGBB with straight
// alpha, rows bottom-up. `opaque` forces alpha 255 everywhere.
std::vector<uint32_t> toPicture(const Canvas& canvas, bool opaque);

// A deterministic random stream (splitmix64), the same on every machine.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t next();
  float uniform();  // [0, 1)
  float range(float low, float high) { return low + (high - low) * uniform(); }
};
