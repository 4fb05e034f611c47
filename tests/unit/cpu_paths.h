// Runs a check once for every path of platform/cpu.h this processor has, so that
// the tests of the pixel code cover the plain, SSE2 and AVX2 code alike.
#pragma once

#include <gtest/gtest.h>

#include "platform/cpu.h"

template <class Check>
void forEachPath(Check check) {
  for (int path = 0; path < kPathCount; path++) {
    if (!cpuPathAvailable(path)) continue;
    SCOPED_TRACE(testing::Message() << "path " << path);
    check(path);
  }
}
