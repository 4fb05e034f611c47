// PNG files for the authoring tool, in the decoder's picture form: width x
// height pixels 0xAARRGGBB, rows bottom-up. PNG rows run top to bottom, so
// the rows are turned over on the way in and out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Decodes PNG bytes (any colour type and depth; 16-bit samples are reduced
// to 8 bits, missing alpha is 255). False with a reason.
bool decodePng(const std::string& png, std::vector<uint32_t>* picture, uint32_t* width,
               uint32_t* height, std::string* error);

// Encodes an 8-bit RGBA PNG (top row first).
bool encodePng(const uint32_t* picture, uint32_t width, uint32_t height, std::string* png);

// The same through files (host paths).
bool readPng(const std::string& path, std::vector<uint32_t>* picture, uint32_t* width,
             uint32_t* height, std::string* error);
bool writePng(const std::string& path, const uint32_t* picture, uint32_t width, uint32_t height,
              std::string* error);
