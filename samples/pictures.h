// The sample game's pictures: the launcher's title, the options dialog's
// logo, and every picture of the install scene, drawn in code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "samples/art.h"

struct NamedPicture {
  std::string name;  // member name in Instdata.pak
  uint32_t width;
  uint32_t height;
  bool opaque;
  std::vector<uint32_t> pixels;  // 0xAARRGGBB, rows bottom-up
};

// Where the scene's pictures go on the 640 x 480 stage. KSetup.ini.in places
// them with the same numbers; make-samples checks the two agree.
struct StagePlace {
  const char* name;
  int x, y;
};
enum { kStageWidth = 640, kStageHeight = 480 };
// The progress bar is drawn over the stage picture and never taken away, so
// it is stored already blended over the trough it fills, fully opaque.
constexpr StagePlace kBarPlace = {"BAR.EPA", 70, 424};
enum { kBarWidth = 500, kBarHeight = 12 };

// Draws all pictures with `font` (a Japanese TrueType font).
std::vector<NamedPicture> drawSamplePictures(const Font& font);
