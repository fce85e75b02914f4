#include "util/cpu_features.h"

#if defined(_MSC_VER) && defined(_M_X64)
#include <immintrin.h>
#include <intrin.h>
#endif

namespace {

bool askAvx2() {
#if !ELSSCAN_X86_VECTORS
  return false;
#elif defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
#elif defined(_MSC_VER) && defined(_M_X64)
  int regs[4];
  __cpuid(regs, 0);
  if (regs[0] < 7) return false;
  __cpuid(regs, 1);
  const bool osxsave = (regs[2] & (1 << 27)) != 0;
  const bool avx = (regs[2] & (1 << 28)) != 0;
  // The system saves the vector registers across switches.
  if (!osxsave || !avx || (_xgetbv(0) & 6) != 6) return false;
  __cpuidex(regs, 7, 0);
  return (regs[1] & (1 << 5)) != 0;
#else
  return false;
#endif
}

bool askAvx512Vbmi2() {
#if !ELSSCAN_X86_VECTORS
  return false;
#elif defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  // The compiler's runtime reports AVX-512 only where the system saves the
  // 512-bit registers.
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512vbmi2") != 0;
#elif defined(_MSC_VER) && defined(_M_X64)
  if (!askAvx2()) return false;
  // The system saves the opmask and the upper halves of all 32 registers.
  if ((_xgetbv(0) & 0xe6) != 0xe6) return false;
  int regs[4];
  __cpuidex(regs, 7, 0);
  return (regs[1] & (1 << 16)) != 0 && (regs[2] & (1 << 6)) != 0;
#else
  return false;
#endif
}

}  // namespace

bool cpuHasAvx2() {
  static const bool has = askAvx2();
  return has;
}

bool cpuHasAvx512Vbmi2() {
  static const bool has = askAvx512Vbmi2();
  return has;
}
