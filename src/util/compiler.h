// Compiler extensions, spelled for g++ and clang (the compilers that the
// builds use), with plain fallbacks for any other.
#ifndef SRC_UTIL_COMPILER_H_
#define SRC_UTIL_COMPILER_H_

// printf-style checking of a format and its arguments, where the compiler
// offers it.
#if defined(__GNUC__) || defined(__clang__)
#define ELSSCAN_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define ELSSCAN_PRINTF_FORMAT(format_index, first_arg)
#endif

// Inlines a function into every caller, even one compiled for wider
// instructions than the function itself (a sweep written once for several
// widths takes each width's instructions from the caller it is inlined
// into).
#if defined(__GNUC__) || defined(__clang__)
#define ELSSCAN_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define ELSSCAN_ALWAYS_INLINE inline
#endif

// Tells the processor that the thread is spinning on a flag, so that it
// saves power and lets the other hardware thread of its core run.
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define ELSSCAN_SPIN_PAUSE() __builtin_ia32_pause()
#elif (defined(__GNUC__) || defined(__clang__)) && defined(__aarch64__)
#define ELSSCAN_SPIN_PAUSE() __asm__ __volatile__("yield")
#else
#define ELSSCAN_SPIN_PAUSE() ((void)0)
#endif

// Writes the coverage counters out in a coverage build (gcov), and does
// nothing in any other: call it right before std::_Exit, which skips the
// exit handlers that would write them.
#if defined(ELSSCAN_COVERAGE)
extern "C" void __gcov_dump();
#define ELSSCAN_FLUSH_COVERAGE() __gcov_dump()
#else
#define ELSSCAN_FLUSH_COVERAGE() ((void)0)
#endif

#endif  // SRC_UTIL_COMPILER_H_
