#include "tools/lib/png_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

// The stb implementations live in this file only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb_image.h>
#include <stb_image_write.h>
#pragma GCC diagnostic pop

bool decodePng(const std::string& png, std::vector<uint32_t>* picture, uint32_t* width,
               uint32_t* height, std::string* error) {
  if (png.size() > size_t(INT_MAX)) {
    *error = "file too large";
    return false;
  }
  int w = 0, h = 0, channels = 0;
  unsigned char* rgba = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(png.data()),
                                              int(png.size()), &w, &h, &channels, 4);
  if (!rgba) {
    *error = std::string("not a readable PNG (") + stbi_failure_reason() + ")";
    return false;
  }
  picture->resize(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++) {
    const unsigned char* src = rgba + size_t(y) * size_t(w) * 4;
    uint32_t* dst = picture->data() + size_t(h - 1 - y) * size_t(w);
    for (int x = 0; x < w; x++, src += 4)
      dst[x] = uint32_t(src[3]) << 24 | uint32_t(src[0]) << 16 | uint32_t(src[1]) << 8 | src[2];
  }
  stbi_image_free(rgba);
  *width = uint32_t(w);
  *height = uint32_t(h);
  return true;
}

static void appendToString(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

bool encodePng(const uint32_t* picture, uint32_t width, uint32_t height, std::string* png) {
  if (width == 0 || height == 0 || width > INT_MAX / 4 || height > INT_MAX) return false;
  std::vector<unsigned char> rgba(size_t(width) * height * 4);
  for (uint32_t y = 0; y < height; y++) {
    const uint32_t* src = picture + size_t(height - 1 - y) * width;
    unsigned char* dst = rgba.data() + size_t(y) * width * 4;
    for (uint32_t x = 0; x < width; x++, dst += 4) {
      const uint32_t p = src[x];
      dst[0] = uint8_t(p >> 16);
      dst[1] = uint8_t(p >> 8);
      dst[2] = uint8_t(p);
      dst[3] = uint8_t(p >> 24);
    }
  }
  png->clear();
  return stbi_write_png_to_func(appendToString, png, int(width), int(height), 4, rgba.data(),
                                int(width * 4)) != 0;
}

bool readPng(const std::string& path, std::vector<uint32_t>* picture, uint32_t* width,
             uint32_t* height, std::string* error) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) {
    *error = strerror(errno);
    return false;
  }
  std::string png;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) png.append(buffer, n);
  bool failed = ferror(f) != 0;
  fclose(f);
  if (failed) {
    *error = "read error";
    return false;
  }
  return decodePng(png, picture, width, height, error);
}

bool writePng(const std::string& path, const uint32_t* picture, uint32_t width, uint32_t height,
              std::string* error) {
  std::string png;
  if (!encodePng(picture, width, height, &png)) {
    *error = "cannot encode a PNG of this size";
    return false;
  }
  FILE* f = fopen(path.c_str(), "wb");
  bool ok = f && fwrite(png.data(), 1, png.size(), f) == png.size();
  if (f && fclose(f) != 0) ok = false;
  if (!ok) *error = strerror(errno);
  return ok;
}
