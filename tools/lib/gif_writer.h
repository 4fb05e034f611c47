// The install scene's frames as one looping GIF animation: each frame keeps
// only the rectangle that differs from the frame before, the palette is
// chosen once all frames are known.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gfx/surface.h"

struct GifFrame {
  int32_t left, top, width, height;
  std::vector<uint32_t> rgb;  // top row first
};

struct GifRecording {
  int32_t width = 0, height = 0;
  std::vector<uint32_t> previous;  // top row first
  std::vector<GifFrame> frames;
};

// Adds the surface's picture as the next frame.
void recordGifFrame(GifRecording* g, const Surface* surface);
// Writes the frames to `path`, `tickMs` apart (exact colours when the frames
// hold at most 256, else a fixed 252-colour palette). False with *error set.
bool writeGif(const std::string& path, const GifRecording& g, uint32_t tickMs, std::string* error);
