// The sample game "星見の丘" (Stargazing Hill): a night sky over two hills,
// a small observatory on the right-hand crest. Its pictures share one
// palette: deep indigo sky, rose horizon, gold light, warm white text.
//
// The install scene, on a 640 x 480 stage:
//   - the stage: sky, crescent moon, milky way, hills, a caption panel, the
//     progress trough and the maker's name;
//   - the heading (written at the start), five stars of a constellation
//     written one by one as the copy goes on, and the constellation's lines
//     drawn on completion;
//   - three captions of the story in the panel, one after the other, then
//     the finish picture in the same panel;
//   - a status line under the bar, replaced by a click hint on completion;
//   - the bar, a comet that flies along it with the progress, and a sky
//     lantern that rises from the observatory with the clock.
#include "samples/pictures.h"

#include <algorithm>
#include <cmath>

namespace {

// ---- Palette -----------------------------------------------------------------------------

const Colour kInk = rgb(0xFFF4DC);       // warm white text
const Colour kGold = rgb(0xF6CF72);      // lights, stars, the bar
const Colour kRose = rgb(0xE88CA6);      // horizon, the bar's start
const Colour kLavender = rgb(0xB9ABF2);  // small text, outlines
const Colour kShade = rgb(0x03041A);     // shadows
const Colour kWarmLight = rgb(0xFFD48A);

// ---- Text -------------------------------------------------------------------------------

struct TextStyle {
  float size;
  Colour colour;
  float tracking = 0;
  float weight = 0;
  Colour shadow = withAlpha(kShade, 0.85f);
  float shadowBlur = 2.0f;
  Colour glowColour = {0, 0, 0, 0};
  float glowBlur = 6.0f;
  Colour bottomColour = {0, 0, 0, 0};  // when set: a vertical gradient to it
};

void drawText(Canvas* canvas, const Font& font, const std::string& text, float x, float baseline,
              const TextStyle& style) {
  Mask mask = makeMask(canvas->width, canvas->height);
  maskText(&mask, font, text, x, baseline, style.size, style.tracking, style.weight);
  if (style.glowColour.a > 0) paintShadow(canvas, mask, style.glowColour, style.glowBlur, 0, 0);
  if (style.shadow.a > 0) paintShadow(canvas, mask, style.shadow, style.shadowBlur, 0, 1);
  if (style.bottomColour.a > 0) {
    float top = baseline - textAscent(font, style.size), height = style.size;
    paintShaded(canvas, mask, [&](float, float y) {
      return mix(style.colour, style.bottomColour, (y - top) / height);
    });
  } else {
    paint(canvas, mask, style.colour);
  }
}

// Left edge that centres the text on `centre`.
float centred(const Font& font, const std::string& text, const TextStyle& style, float centre) {
  return centre - textWidth(font, text, style.size, style.tracking) / 2;
}

// ---- Night sky pieces --------------------------------------------------------------------

void skyGradient(Canvas* canvas, float horizon) {
  float h = float(canvas->height);
  float t = horizon / h;
  fillVertical(canvas, {{0.0f, rgb(0x050820)},
                        {t * 0.40f, rgb(0x0E1440)},
                        {t * 0.75f, rgb(0x231F5C)},
                        {t * 0.90f, rgb(0x4A3170)},
                        {t, rgb(0x9A5F80)},
                        {1.0f, rgb(0xB9717E)}});
}

// Scattered stars, thinning towards the horizon.
void starField(Canvas* canvas, Random* random, int count, float horizon) {
  for (int i = 0; i < count; i++) {
    float x = random->range(0, float(canvas->width));
    float y = horizon * std::pow(random->uniform(), 1.35f);
    float bright = std::pow(random->uniform(), 3.0f);
    float tint = random->uniform();
    Colour c = tint < 0.25f ? rgb(0xFFE6B8) : tint < 0.6f ? rgb(0xFFFFFF) : rgb(0xC9D4FF);
    float fade = 1 - 0.7f * (y / horizon);
    c.a = (0.25f + 0.75f * bright) * fade;
    star(canvas, x, y, 0.45f + 0.75f * bright, c, bright > 0.85f ? 4 + 5 * bright : 0);
  }
}

// A faint band of light and dust across the sky, from (x0, y0) to (x1, y1).
void milkyWay(Canvas* canvas, Random* random, float x0, float y0, float x1, float y1, float width,
              float strength) {
  // Blurred noise, made with a margin so that it does not fade at the edges.
  const int margin = 48;
  Mask cloud = makeMask(canvas->width + 2 * margin, canvas->height + 2 * margin);
  for (float& v : cloud.values) v = random->uniform();
  blurMask(&cloud, 12);
  float dx = x1 - x0, dy = y1 - y0, length = std::hypot(dx, dy);
  Mask band = makeMask(canvas->width, canvas->height);
  for (int y = 0; y < canvas->height; y++)
    for (int x = 0; x < canvas->width; x++) {
      float d = ((x + 0.5f - x0) * dy - (y + 0.5f - y0) * dx) / length;
      float n = (cloud.at(x + margin, y + margin) - 0.5f) * 8.0f;  // stretched back to 0..1
      band.at(x, y) = std::exp(-(d * d) / (width * width)) * std::clamp(0.45f + n, 0.0f, 1.0f);
    }
  paint(canvas, band, withAlpha(rgb(0xD9CCFF), 0.30f * strength));
  // Dust of tiny stars along the band.
  for (int i = 0; i < int(900 * strength); i++) {
    float t = random->uniform();
    float off = (random->uniform() + random->uniform() + random->uniform() - 1.5f) * width * 0.8f;
    float x = x0 + dx * t - dy / length * off, y = y0 + dy * t + dx / length * off;
    star(canvas, x, y, 0.4f, withAlpha(rgb(0xF2EEFF), 0.2f + 0.35f * random->uniform()), 0);
  }
}

void crescentMoon(Canvas* canvas, float cx, float cy, float radius) {
  glow(canvas, cx, cy, radius * 3.6f, withAlpha(rgb(0x8F7FD8), 0.22f));
  glow(canvas, cx, cy, radius * 1.7f, withAlpha(rgb(0xFFE9B8), 0.28f));
  Mask disc = makeMask(canvas->width, canvas->height);
  maskCircle(&disc, cx, cy, radius);
  Mask bite = makeMask(canvas->width, canvas->height);
  maskCircle(&bite, cx + radius * 0.48f, cy - radius * 0.30f, radius * 0.92f);
  maskCut(&disc, bite);
  paintShaded(canvas, disc, [&](float x, float y) {
    return mix(rgb(0xFFF6DA), rgb(0xF3C979), ((x - cx) + (y - cy)) / (2 * radius) + 0.5f);
  });
}

// A smooth minimum, so that two hills meet in a rounded valley.
float smoothMin(float a, float b, float k) {
  float h = std::clamp(0.5f + 0.5f * (b - a) / k, 0.0f, 1.0f);
  return b + (a - b) * h - k * h * (1 - h);
}

// The hills of the stage, drawn at `scale` and moved down by `dy`: a far
// range, two near hills meeting in a valley, the foreground.
struct Hills {
  float scale;
  float dy;
  float far(float x) const {
    float u = x / scale;
    return dy + scale * (318 + 9 * std::sin(u * 0.012f + 1) + 5 * std::sin(u * 0.031f));
  }
  float near(float x) const {
    float u = x / scale;
    float right = 286 + 0.0006f * (u - 470) * (u - 470);
    float left = 304 + 0.0009f * (u - 110) * (u - 110);
    return dy + scale * (smoothMin(right, left, 14) + 1.5f * std::sin(u * 0.09f));
  }
  float front(float x) const {
    float u = x / scale;
    return dy + scale * (346 + 5 * std::sin(u * 0.021f + 2) - 4 * std::sin(u * 0.006f));
  }
};

void observatory(Canvas* canvas, float x, float base, float s, Colour silhouette) {
  Mask m = makeMask(canvas->width, canvas->height);
  maskRoundRect(&m, x - 20 * s, base - 17 * s, x + 20 * s, base + 6 * s, 1.5f * s);
  maskCircle(&m, x, base - 17 * s, 16 * s);
  maskLine(&m, x + 4 * s, base - 30 * s, x + 15 * s, base - 40 * s, 3 * s);  // the telescope
  paint(canvas, m, silhouette);
  // The dome's open slit and a window, lit from inside.
  Mask light = makeMask(canvas->width, canvas->height);
  maskLine(&light, x + 1.5f * s, base - 29 * s, x + 0.5f * s, base - 20 * s, 2.2f * s);
  maskRoundRect(&light, x - 13 * s, base - 11 * s, x - 7 * s, base - 5 * s, 1 * s);
  glow(canvas, x - 10 * s, base - 8 * s, 9 * s, withAlpha(kWarmLight, 0.35f));
  paint(canvas, light, withAlpha(kWarmLight, 0.95f));
}

void tree(Canvas* canvas, float x, float base, float s, Colour silhouette) {
  Mask m = makeMask(canvas->width, canvas->height);
  maskLine(&m, x, base + 4 * s, x + 1 * s, base - 20 * s, 3.2f * s);
  maskCircle(&m, x, base - 28 * s, 12 * s);
  maskCircle(&m, x - 10 * s, base - 22 * s, 9 * s);
  maskCircle(&m, x + 10 * s, base - 23 * s, 9.5f * s);
  maskCircle(&m, x + 2 * s, base - 39 * s, 8 * s);
  paint(canvas, m, silhouette);
}

// Far range, near hills with tree and observatory, foreground with grass.
void landscape(Canvas* canvas, const Hills& hills) {
  float s = hills.scale, dy = hills.dy;
  Mask far = makeMask(canvas->width, canvas->height);
  maskBelow(&far, [&](float x) { return hills.far(x); });
  paintShaded(canvas, far, [&](float, float y) {
    return mix(rgb(0x3B2F66), rgb(0x1E1843), (y - dy - 300 * s) / (40 * s));
  });
  Colour nearColour = rgb(0x17143A);
  Mask near = makeMask(canvas->width, canvas->height);
  maskBelow(&near, [&](float x) { return hills.near(x); });
  paint(canvas, near, nearColour);
  tree(canvas, 110 * s, hills.near(110 * s) + 1, s, nearColour);
  observatory(canvas, 470 * s, hills.near(470 * s) + 1, s, nearColour);
  // A rim of light along the near hills' crest, from the horizon behind them.
  Mask rim = near;
  Mask inside = makeMask(canvas->width, canvas->height);
  maskBelow(&inside, [&](float x) { return hills.near(x) + 1.2f * s; });
  maskCut(&rim, inside);
  paint(canvas, rim, withAlpha(kRose, 0.35f));

  Mask front = makeMask(canvas->width, canvas->height);
  maskBelow(&front, [&](float x) { return hills.front(x); });
  Random grass(0x6A55);
  for (float x = 0; x < canvas->width; x += grass.range(2.0f, 5.0f) * s) {
    float base = hills.front(x) + 1.5f * s, height = grass.range(2.5f, 7.0f) * s;
    float lean = grass.range(-1.8f, 1.8f) * s;
    maskLine(&front, x, base, x + lean, base - height, 1.1f * s);
  }
  paintShaded(canvas, front, [&](float, float y) {
    return mix(rgb(0x0D0C24), rgb(0x06061A), (y - dy - 340 * s) / (140 * s));
  });
}

// A rounded panel with a fill and a one-pixel border.
void panel(Canvas* canvas, float left, float top, float right, float bottom, float radius, Colour fill,
           Colour border) {
  Mask outer = makeMask(canvas->width, canvas->height);
  maskRoundRect(&outer, left, top, right, bottom, radius);
  paint(canvas, outer, fill);
  Mask inner = makeMask(canvas->width, canvas->height);
  maskRoundRect(&inner, left + 1, top + 1, right - 1, bottom - 1, radius - 1);
  maskCut(&outer, inner);
  paint(canvas, outer, border);
}

void vignette(Canvas* canvas, float strength) {
  float cx = canvas->width / 2.0f, cy = canvas->height / 2.0f;
  shade(canvas, [&](float x, float y) {
    float dx = (x - cx) / cx, dy = (y - cy) / cy;
    float d = std::sqrt(dx * dx + dy * dy) / 1.4142f;
    return withAlpha(kShade, strength * d * d * d);
  });
}

NamedPicture finish(const std::string& name, const Canvas& canvas, bool opaque) {
  return {name, uint32_t(canvas.width), uint32_t(canvas.height), opaque, toPicture(canvas, opaque)};
}

const Colour kClear = {0, 0, 0, 0};

// ---- The stage ----------------------------------------------------------------------------

// Constellation stars in stage coordinates, in the order they appear.
const float kStars[5][2] = {{330, 214}, {380, 168}, {446, 192}, {500, 146}, {430, 110}};
const int kStarLines[5][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 1}};

// Caption panel and status line.
const float kPanel[4] = {44, 338, 596, 384};
const float kTrough[4] = {68, 422, 572, 438};

Canvas stage(const Font& font) {
  Canvas c = makeCanvas(kStageWidth, kStageHeight, rgb(0x000000));
  Hills hills{1.0f, 0.0f};
  skyGradient(&c, 330);
  Random random(0x5743A6E1);
  milkyWay(&c, &random, 40, 330, 470, -20, 50, 1.0f);
  starField(&c, &random, 260, 330);
  crescentMoon(&c, 566, 72, 26);
  glow(&c, 320, 340, 260, withAlpha(kRose, 0.10f));  // haze over the horizon
  landscape(&c, hills);

  panel(&c, kPanel[0], kPanel[1], kPanel[2], kPanel[3], 12, withAlpha(rgb(0x080A22), 0.62f),
        withAlpha(kGold, 0.30f));
  // The trough the bar fills: sunk into the hill, lit along its lower edge.
  panel(&c, kTrough[0], kTrough[1], kTrough[2], kTrough[3], 8, withAlpha(rgb(0x03031A), 0.92f),
        withAlpha(kLavender, 0.28f));
  TextStyle brand{11, withAlpha(kLavender, 0.6f)};
  brand.tracking = 1.5f;
  brand.shadow = kClear;
  const std::string maker = "Lantern Soft";
  drawText(&c, font, maker, kTrough[2] - textWidth(font, maker, brand.size, brand.tracking), 459, brand);

  // A thin gold frame around the stage.
  panel(&c, 0, 0, kStageWidth, kStageHeight, 3, kClear, withAlpha(kGold, 0.45f));
  vignette(&c, 0.35f);
  return c;
}

// The bar blended over the stage's trough: fully opaque, so that drawing it
// again and again leaves it as it is.
Canvas bar(const Canvas& stagePicture) {
  Canvas c = cropCanvas(stagePicture, kBarPlace.x, kBarPlace.y, kBarWidth, kBarHeight);
  Mask m = makeMask(kBarWidth, kBarHeight);
  maskRoundRect(&m, 0, 0, kBarWidth, kBarHeight, kBarHeight / 2.0f);
  paintShaded(&c, m, [&](float x, float y) {
    Colour along = mix(kRose, kGold, x / kBarWidth);
    if (y < 4) return mix(rgb(0xFFF8E8), along, y / 4);           // highlight
    return mix(along, mix(along, rgb(0x8A4A50), 0.45f), (y - 4) / 8);  // deeper below
  });
  return c;
}

Canvas heading(const Font& font) {
  Canvas c = makeCanvas(340, 128, kClear);
  TextStyle title{56, rgb(0xFFF9EA)};
  title.weight = 1.0f;
  title.bottomColour = rgb(0xF3C56E);
  title.glowColour = withAlpha(kGold, 0.55f);
  title.glowBlur = 9;
  title.shadowBlur = 3;
  drawText(&c, font, "星見の丘", 14, 72, title);
  star(&c, 246, 24, 1.6f, rgb(0xFFF6DD), 12);
  TextStyle roman{12, kLavender};
  roman.tracking = 5;
  drawText(&c, font, "HOSHIMI NO OKA", 17, 97, roman);
  TextStyle tagline{13.5f, withAlpha(kInk, 0.88f)};
  drawText(&c, font, "― 星の降る夜に、きみと ―", 15, 119, tagline);
  return c;
}

Canvas constellationStar(float strength) {
  Canvas c = makeCanvas(44, 44, kClear);
  glow(&c, 22, 22, 11, withAlpha(kGold, 0.30f * strength));
  star(&c, 22, 22, 1.6f + 0.6f * strength, rgb(0xFFF8E4), 10 + 7 * strength);
  return c;
}

enum { kLinesLeft = 300, kLinesTop = 88, kLinesWidth = 232, kLinesHeight = 152 };

Canvas constellationLines() {
  Canvas c = makeCanvas(kLinesWidth, kLinesHeight, kClear);
  Mask m = makeMask(kLinesWidth, kLinesHeight);
  for (const auto& line : kStarLines) {
    float x0 = kStars[line[0]][0] - kLinesLeft, y0 = kStars[line[0]][1] - kLinesTop;
    float x1 = kStars[line[1]][0] - kLinesLeft, y1 = kStars[line[1]][1] - kLinesTop;
    float dx = x1 - x0, dy = y1 - y0, length = std::hypot(dx, dy), gap = 11 / length;
    maskLine(&m, x0 + dx * gap, y0 + dy * gap, x1 - dx * gap, y1 - dy * gap, 1.3f);
  }
  paintShadow(&c, m, withAlpha(kGold, 0.55f), 3, 0, 0);
  paint(&c, m, withAlpha(rgb(0xFFE7A8), 0.75f));
  return c;
}

// The caption panel as the stage shows it: captions and the finish picture
// start from it and are stored opaque, so that when a fast copy brings up two
// captions in one step the later one simply covers the earlier.
Canvas panelPiece(const Canvas& stagePicture) {
  return cropCanvas(stagePicture, int(kPanel[0]), int(kPanel[1]), int(kPanel[2] - kPanel[0]),
                    int(kPanel[3] - kPanel[1]));
}

// Text centred on the caption panel.
Canvas caption(const Font& font, const Canvas& stagePicture, const std::string& text,
               const TextStyle& style) {
  Canvas c = panelPiece(stagePicture);
  drawText(&c, font, text, centred(font, text, style, c.width / 2.0f), 29, style);
  return c;
}

Canvas statusLine(const Font& font, const std::string& text, Colour colour) {
  Canvas c = makeCanvas(380, 22, kClear);
  TextStyle style{12.5f, colour};
  drawText(&c, font, text, 2, 15, style);
  return c;
}

Canvas finishPicture(const Font& font, const Canvas& stagePicture) {
  TextStyle style{20, rgb(0xFFF3D2)};
  style.weight = 0.5f;
  style.bottomColour = kGold;
  style.glowColour = withAlpha(kGold, 0.45f);
  const std::string text = "インストールが完了しました";
  Canvas c = panelPiece(stagePicture);
  float x = centred(font, text, style, c.width / 2.0f);
  drawText(&c, font, text, x, 31, style);
  float right = x + textWidth(font, text, style.size);
  star(&c, x - 20, 23, 1.4f, rgb(0xFFF6DD), 8);
  star(&c, right + 20, 23, 1.4f, rgb(0xFFF6DD), 8);
  return c;
}

// Comet strip: cells 128 x 28, the head at (110, 14) of each cell, the tail
// streaming back to the left with sparks that change from cell to cell.
enum { kCometWidth = 128, kCometCell = 28, kCometCells = 4, kCometHeadX = 110 };

Canvas cometStrip() {
  Canvas c = makeCanvas(kCometWidth, kCometCell * kCometCells, kClear);
  for (int cell = 0; cell < kCometCells; cell++) {
    float top = float(cell * kCometCell), hx = kCometHeadX, hy = top + kCometCell / 2.0f;
    for (int y = int(top); y < int(top) + kCometCell; y++)
      for (int x = 0; x < kCometWidth; x++) {
        float behind = hx - (x + 0.5f);
        if (behind < 0 || behind > 106) continue;
        float t = behind / 106;
        float half = 3.4f * (1 - t) + 0.6f;
        float dy = y + 0.5f - hy;
        float a = std::exp(-(dy * dy) / (half * half)) * std::pow(1 - t, 1.4f) * 0.85f;
        Colour tail = t < 0.35f ? mix(rgb(0xFFF2C8), kGold, t / 0.35f)
                                : mix(kGold, kRose, (t - 0.35f) / 0.65f);
        blendPixel(&c, x, y, tail, a);
      }
    Random sparks(0xC0FFEEu + uint64_t(cell));
    for (int k = 0; k < 6; k++) {
      float behind = sparks.range(14, 96);
      float dy = sparks.range(-4.5f, 4.5f) * (0.4f + behind / 96);
      star(&c, hx - behind, hy + dy, 0.5f, withAlpha(rgb(0xFFF0D0), 0.5f + 0.5f * sparks.uniform()), 0);
    }
    glow(&c, hx, hy, 6, withAlpha(rgb(0xFFE6A0), 0.55f));
    const float glints[kCometCells] = {7, 10, 8.5f, 11};
    star(&c, hx, hy, 1.9f, rgb(0xFFFFFF), glints[cell]);
  }
  return c;
}

// Sky lantern strip: cells 40 x 48, a paper lantern wider at the top, lit
// from the flame at its open bottom, which flickers from cell to cell.
enum { kLanternWidth = 40, kLanternCell = 48, kLanternCells = 4 };

void drawLantern(Canvas* c, float cx, float top, float f) {
  glow(c, cx, top + 26, 16, withAlpha(rgb(0xFFB055), 0.55f * f));
  const float bodyTop = top + 12, bodyBottom = top + 34;
  Mask body = makeMask(c->width, c->height);
  for (int y = int(bodyTop) - 1; y <= int(bodyBottom) + 1; y++)
    for (int x = int(cx) - 12; x <= int(cx) + 12; x++) {
      if (x < 0 || y < 0 || x >= c->width || y >= c->height) continue;
      float py = y + 0.5f, t = (py - bodyTop) / (bodyBottom - bodyTop);
      float half = 8.5f - 3.0f * t;  // wider at the top
      float side = half - std::fabs(x + 0.5f - cx);
      float cap = bodyTop + 2.5f * (1 - std::sqrt(std::max(0.0f, 1 - std::pow((x + 0.5f - cx) / 8.5f, 2.0f))));
      float v = std::min({side + 0.5f, py - cap + 0.5f, bodyBottom - py + 0.5f});
      body.at(x, y) = std::clamp(v, 0.0f, 1.0f);
    }
  paintShaded(c, body, [&](float x, float y) {
    float t = (y - bodyTop) / (bodyBottom - bodyTop);
    float across = std::fabs(x - cx) / 8.5f;
    Colour paper = mix(rgb(0xF2A055), rgb(0xFFE6A8), t * f);  // brightest near the flame
    return mix(paper, rgb(0xA8502C), 0.55f * across * across);
  });
  Mask ribs = makeMask(c->width, c->height);
  for (float dx : {-3.5f, 3.5f}) maskLine(&ribs, cx + dx * 1.1f, bodyTop + 3, cx + dx * 0.8f, bodyBottom - 1, 0.7f);
  paint(c, ribs, withAlpha(rgb(0xA8502C), 0.30f));
  star(c, cx, bodyBottom - 0.5f, 1.3f, withAlpha(rgb(0xFFF6C8), f), 0);
}

Canvas lanternStrip() {
  Canvas c = makeCanvas(kLanternWidth, kLanternCell * kLanternCells, kClear);
  const float flicker[kLanternCells] = {1.0f, 0.84f, 0.95f, 0.78f};
  for (int cell = 0; cell < kLanternCells; cell++)
    drawLantern(&c, kLanternWidth / 2.0f, float(cell * kLanternCell), flicker[cell]);
  return c;
}

// ---- Launcher title and options logo -----------------------------------------------------

Canvas titlePicture(const Font& font) {
  const int size = 320;
  Canvas c = makeCanvas(size, size, rgb(0x000000));
  // The stage's landscape at half size, lower in the picture.
  Hills hills{0.5f, 96.0f};
  skyGradient(&c, 258);
  Random random(0x7171E);
  milkyWay(&c, &random, 10, 262, 300, -10, 32, 0.9f);
  starField(&c, &random, 170, 250);
  crescentMoon(&c, 262, 52, 18);
  glow(&c, 160, 270, 150, withAlpha(kRose, 0.12f));
  landscape(&c, hills);
  drawLantern(&c, 246, 172, 1.0f);

  TextStyle title{50, rgb(0xFFF9EA)};
  title.weight = 1.0f;
  title.bottomColour = rgb(0xF3C56E);
  title.glowColour = withAlpha(kGold, 0.5f);
  title.glowBlur = 8;
  drawText(&c, font, "星見の丘", centred(font, "星見の丘", title, 160), 132, title);
  TextStyle roman{11, kLavender};
  roman.tracking = 4.5f;
  drawText(&c, font, "HOSHIMI NO OKA", centred(font, "HOSHIMI NO OKA", roman, 160), 156, roman);
  TextStyle maker{10, withAlpha(kLavender, 0.75f)};
  maker.tracking = 1.5f;
  drawText(&c, font, "Lantern Soft", centred(font, "Lantern Soft", maker, 160), 304, maker);
  panel(&c, 0, 0, size, size, 2, kClear, withAlpha(kGold, 0.4f));
  vignette(&c, 0.3f);
  return c;
}

Canvas logoPicture(const Font& font) {
  Canvas c = makeCanvas(400, 98, rgb(0x000000));
  fillVertical(&c, {{0.0f, rgb(0x070A26)}, {0.7f, rgb(0x1B1A52)}, {1.0f, rgb(0x3A2A6A)}});
  Random random(0x10C0);
  // The options dialog may show less than the full width on narrow dialog
  // fonts, so the picture's content stays in its left 340 columns.
  milkyWay(&c, &random, 210, 110, 360, -10, 26, 0.6f);
  starField(&c, &random, 90, 98);
  glow(&c, 300, 110, 120, withAlpha(kRose, 0.22f));
  Mask hill = makeMask(400, 98);
  maskBelow(&hill, [](float x) { return 78 + 0.0011f * (x - 300) * (x - 300); });
  paint(&c, hill, rgb(0x14123A));
  observatory(&c, 300, 79, 0.62f, rgb(0x14123A));
  crescentMoon(&c, 42, 48, 19);

  TextStyle title{34, rgb(0xFFF9EA)};
  title.weight = 0.8f;
  title.bottomColour = rgb(0xF3C56E);
  title.glowColour = withAlpha(kGold, 0.45f);
  title.glowBlur = 6;
  drawText(&c, font, "星見の丘", 82, 52, title);
  TextStyle roman{10, kLavender};
  roman.tracking = 3.5f;
  drawText(&c, font, "HOSHIMI NO OKA", 84, 74, roman);
  Mask line = makeMask(400, 98);
  maskLine(&line, 0, 97, 400, 97, 1);
  paint(&c, line, withAlpha(kGold, 0.55f));
  return c;
}

// The desktop behind the stage: darker sky, faint stars, light where the
// stage sits. Stretched over the whole screen by the program.
Canvas backPicture() {
  Canvas c = makeCanvas(800, 600, rgb(0x000000));
  fillVertical(&c, {{0.0f, rgb(0x03051A)}, {0.55f, rgb(0x0B0E30)}, {1.0f, rgb(0x161034)}});
  glow(&c, 400, 300, 330, withAlpha(rgb(0x3A3480), 0.35f));
  Random random(0xBAC6);
  for (int i = 0; i < 420; i++) {
    float x = random.range(0, 800), y = random.range(0, 600);
    star(&c, x, y, 0.6f, withAlpha(rgb(0xDDE2FF), 0.15f + 0.35f * random.uniform()), 0);
  }
  vignette(&c, 0.6f);
  return c;
}

}  // namespace

std::vector<NamedPicture> drawSamplePictures(const Font& font) {
  std::vector<NamedPicture> out;
  out.push_back(finish("TITLE.EPA", titlePicture(font), true));
  out.push_back(finish("LOGO.EPA", logoPicture(font), true));
  out.push_back(finish("BACK.EPA", backPicture(), true));
  Canvas stagePicture = stage(font);
  out.push_back(finish("STAGE.EPA", stagePicture, true));
  out.push_back(finish("HEADING.EPA", heading(font), false));
  for (int i = 0; i < 5; i++)
    out.push_back(finish("STAR" + std::to_string(i + 1) + ".EPA",
                         constellationStar(i == 0 ? 1.0f : 0.55f + 0.1f * float(i % 3)), false));
  out.push_back(finish("LINES.EPA", constellationLines(), false));

  const char* const story[] = {"丘の上の小さな天文台に、今夜も灯りがともる。",
                               "少女は古い望遠鏡をのぞき、消えた星を探していた。",
                               "そして約束の夜、星はふたたび空にかえってくる――。"};
  for (int i = 0; i < 3; i++)
    out.push_back(finish("STORY" + std::to_string(i + 1) + ".EPA",
                         caption(font, stagePicture, story[i], TextStyle{16, kInk}), true));
  out.push_back(finish("FINISH.EPA", finishPicture(font, stagePicture), true));
  out.push_back(finish("NOWINST.EPA",
                       statusLine(font, "インストール中です。しばらくお待ちください。", withAlpha(kInk, 0.85f)),
                       false));
  out.push_back(finish("CLICK.EPA",
                       statusLine(font, "画面をクリックするとセットアップを終了します。", kGold), false));
  out.push_back(finish(kBarPlace.name, bar(stagePicture), true));
  out.push_back(finish("COMET.EPA", cometStrip(), false));
  out.push_back(finish("LANTERN.EPA", lanternStrip(), false));
  return out;
}
