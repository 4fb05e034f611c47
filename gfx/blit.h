// The row blenders of gfx/surface.h on each path of platform/cpu.h, for the tests
// and benchmarks that compare them. blendRowsExact and blendRowsPacked take
// the fastest path the processor has; the caller of these checks that the
// processor has the one it names. Every path gives the same pixels.
#pragma once

#include <cstdint>

void blendRowsExactOn(int path, const uint8_t* source, uint8_t* destination, int32_t columns,
                      int32_t rows, int32_t sourcePitch, int32_t destinationPitch);
void blendRowsPackedOn(int path, const uint8_t* source, uint8_t* destination, int32_t columns,
                       int32_t rows, int32_t sourcePitch, int32_t destinationPitch);
