# Flags that the released programs are built with, beside the warnings.
#
# On ELF systems (Linux and the like), the hardening that Debian's
# dpkg-buildflags gives its packages: a checked stack
# (-fstack-protector-strong), the checked forms of the C library's string and
# buffer functions (_FORTIFY_SOURCE=2, which needs the optimiser, so not in
# Debug builds), and relocations resolved at start and then made read-only
# (relro and bindnow). Sanitizer builds leave it out, since their runtimes
# replace the same functions. -DELSSCAN_HARDEN=OFF leaves it out too, to
# compare the two.
option(ELSSCAN_HARDEN "Build with the hardening flags of Debian's packages (ELF systems)" ON)
if(ELSSCAN_HARDEN AND NOT (WIN32 OR APPLE)
   AND NOT (ELSSCAN_SANITIZE OR ELSSCAN_TSAN OR ELSSCAN_FUZZ))
  add_compile_options(-fstack-protector-strong
                      "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# g++ for Windows (MinGW) keeps the stack aligned to 16 bytes only, so a
# move of a 256- or 512-bit value to or from a stack slot with an instruction
# that needs 32 or 64 would fault. (Debian 12's g++ 12 already picks
# unaligned moves for such slots, which nothing obliges other versions to
# do.) Its assembler is told to encode every aligned vector move as an
# unaligned one, which runs as fast on aligned data; the wide steps of the
# scan are built only where that is so (a Windows build without it defines
# ELSSCAN_NO_WIDE_VECTORS, read by src/util/cpu_features.h), and
# tools/build-windows.sh checks the program for any aligned wide move left.
if(MINGW AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -Wa,-muse-unaligned-vector-move)
  check_cxx_source_compiles("int main() { return 0; }" ELSSCAN_ASSEMBLER_HAS_UNALIGNED_MOVES)
  unset(CMAKE_REQUIRED_FLAGS)
  if(ELSSCAN_ASSEMBLER_HAS_UNALIGNED_MOVES)
    add_compile_options(-Wa,-muse-unaligned-vector-move)
  else()
    message(NOTICE "The assembler lacks -muse-unaligned-vector-move (binutils 2.38 or later): "
                   "the scan keeps its 56-skip steps")
  endif()
endif()
if(WIN32 AND NOT ELSSCAN_ASSEMBLER_HAS_UNALIGNED_MOVES)
  add_compile_definitions(ELSSCAN_NO_WIDE_VECTORS)
endif()
