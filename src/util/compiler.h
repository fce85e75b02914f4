// Compiler extensions, spelled so that every compiler builds the program.
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

#endif  // SRC_UTIL_COMPILER_H_
