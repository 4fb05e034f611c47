// Writing EPA pictures (the program itself only reads them).
//
// Pictures are in the decoder's form: width x height pixels 0xAARRGGBB,
// rows bottom-up (the first `width` pixels are the bottom row).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The mode a picture is best stored in: 2 when any alpha is below 255, else 0
// when it has at most 256 colours, else 1.
int chooseEpaMode(const uint32_t* picture, uint32_t width, uint32_t height);

// Encodes the picture as an EPA file in `mode` (0 palette, 1 colour, 2 colour
// with alpha). False with a reason when the size is 0 or too large, the mode
// is unknown, or the mode cannot hold the picture exactly (alpha below 255 in
// modes 0 and 1, more than 256 colours in mode 0): decoding the file always
// gives the picture back unchanged.
bool encodeEpa(const uint32_t* picture, uint32_t width, uint32_t height, int mode,
               std::string* epa, std::string* error);

// Compresses `size` bytes of planes `width` bytes wide into a plane stream
// (the part of the file after the header and palette). Chooses, by cost in
// bytes, among literal runs and copies over all fifteen distances.
std::string packPlanes(const uint8_t* planes, size_t size, uint32_t width);
