// Processor features that pick the pixel code's fast paths (the picture
// decoder's and the blitters'), read once with CPUID. Every path gives the
// same bytes; the plain one runs everywhere.
#pragma once

#include <cstdint>

enum CpuPath {
  kPathPlain = 0,  // portable C++
  kPathSse2 = 1,   // SSE2 (every x86-64 processor; most i686 ones since 2001)
  kPathAvx2 = 2,   // AVX2 and SSSE3, with the system saving the 256-bit registers
  kPathCount = 3,
};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define KSETUP_X86 1
#endif

// EDX of CPUID leaf 1 (bit 23 MMX, bit 26 SSE2), or 0 when the processor has
// no CPUID instruction or reports no leaf 1.
uint32_t cpuidLeaf1Edx();
// Whether this processor can run the path (kPathPlain always).
bool cpuPathAvailable(int path);
// The fastest path available, found on the first call.
int bestCpuPath();
