// Processor features by CPUID (and XGETBV for the registers the system saves).
#include "platform/cpu.h"

#if KSETUP_X86
#include <cpuid.h>
#endif

#if KSETUP_X86
// The four registers of a CPUID leaf; false when the leaf is beyond the
// highest one reported (or there is no CPUID: __get_cpuid_max checks the ID
// flag of EFLAGS on i386).
static bool cpuid(unsigned leaf, unsigned* eax, unsigned* ebx, unsigned* ecx, unsigned* edx) {
  if (unsigned(__get_cpuid_max(0, nullptr)) < leaf) return false;
  __cpuid_count(leaf, 0, *eax, *ebx, *ecx, *edx);
  return true;
}
#endif

uint32_t cpuidLeaf1Edx() {
#if KSETUP_X86
  unsigned eax, ebx, ecx, edx;
  if (cpuid(1, &eax, &ebx, &ecx, &edx)) return edx;
#endif
  return 0;
}

static bool hasAvx2() {
#if KSETUP_X86
  unsigned eax, ebx, ecx, edx;
  if (!cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const unsigned ssse3 = 1u << 9, osxsave = 1u << 27, avx = 1u << 28;
  if ((ecx & (ssse3 | osxsave | avx)) != (ssse3 | osxsave | avx)) return false;
  // The system must save the SSE and AVX register state on task switches.
  unsigned xcr0Low, xcr0High;
  __asm__ volatile("xgetbv" : "=a"(xcr0Low), "=d"(xcr0High) : "c"(0));
  if ((xcr0Low & 6) != 6) return false;
  if (!cpuid(7, &eax, &ebx, &ecx, &edx)) return false;
  return (ebx >> 5) & 1;
#else
  return false;
#endif
}

bool cpuPathAvailable(int path) {
  switch (path) {
    case kPathPlain:
      return true;
    case kPathSse2:
#if defined(__x86_64__) || defined(__SSE2__)
      return true;
#else
      return (cpuidLeaf1Edx() >> 26) & 1;
#endif
    case kPathAvx2:
      return hasAvx2();
    default:
      return false;
  }
}

int bestCpuPath() {
  static const int best = cpuPathAvailable(kPathAvx2)   ? kPathAvx2
                          : cpuPathAvailable(kPathSse2) ? kPathSse2
                                                        : kPathPlain;
  return best;
}
