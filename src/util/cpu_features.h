// What the processor offers beyond its baseline instruction set, asked at
// run time, so that one program runs on every x86-64 processor and uses
// wider instructions only where they exist; and the spellings that let one
// function use them (the compiler's other extensions are in util/compiler.h).
#ifndef SRC_UTIL_CPU_FEATURES_H_
#define SRC_UTIL_CPU_FEATURES_H_

// 1 where the code may hold 256- and 512-bit vector paths (x86-64 with a compiler
// that lets one function use instructions beyond the build's baseline),
// else 0: other architectures build the plain paths only, and so does a
// build whose stack is not kept aligned for 256-bit values and whose
// assembler cannot turn aligned vector moves into unaligned ones
// (ELSSCAN_NO_WIDE_VECTORS, set by cmake/build_flags.cmake for such a
// Windows build).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && \
    !defined(ELSSCAN_NO_WIDE_VECTORS)
#define ELSSCAN_X86_VECTORS 1
// Marks a function that may use AVX2; call it only when cpuHasAvx2().
#define ELSSCAN_TARGET_AVX2 __attribute__((target("avx2")))
// Marks a function that may use AVX-512 with its double shifts (VBMI2);
// call it only when cpuHasAvx512Vbmi2().
#define ELSSCAN_TARGET_AVX512 __attribute__((target("avx512f,avx512vbmi2")))
#else
#define ELSSCAN_X86_VECTORS 0
#define ELSSCAN_TARGET_AVX2
#define ELSSCAN_TARGET_AVX512
#endif

// True when the processor and the operating system support AVX2. Asked once
// and remembered; safe from any thread.
bool cpuHasAvx2();

// True when the processor and the operating system support AVX-512F and
// AVX-512 VBMI2 (the double shifts). Asked once and remembered; safe from
// any thread.
bool cpuHasAvx512Vbmi2();

#endif  // SRC_UTIL_CPU_FEATURES_H_
