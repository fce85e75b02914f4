#include "util/cpu_features.h"

namespace {

bool askAvx2() {
#if !ELSSCAN_X86_VECTORS
  return false;
#elif defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") != 0;
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
