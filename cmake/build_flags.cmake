# Flags that the released programs are built with, beside the warnings.
#
# g++ for Windows (MinGW) keeps the stack aligned to 16 bytes only, so a
# move of a 256- or 512-bit value to or from a stack slot with an instruction
# that needs 32 or 64 would fault. Its assembler is told to encode every
# aligned vector move as an unaligned one, which runs as fast on aligned
# data; the wide steps of the scan are built only where that is so
# (ELSSCAN_UNALIGNED_VECTOR_MOVES, read by src/util/cpu_features.h), and
# tools/build-windows.sh checks the program for any aligned wide move left.
if(MINGW AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_FLAGS -Wa,-muse-unaligned-vector-move)
  check_cxx_source_compiles("int main() { return 0; }" ELSSCAN_ASSEMBLER_HAS_UNALIGNED_MOVES)
  unset(CMAKE_REQUIRED_FLAGS)
  if(ELSSCAN_ASSEMBLER_HAS_UNALIGNED_MOVES)
    add_compile_options(-Wa,-muse-unaligned-vector-move)
    add_compile_definitions(ELSSCAN_UNALIGNED_VECTOR_MOVES)
  else()
    message(NOTICE "The assembler lacks -muse-unaligned-vector-move (binutils 2.38 or later): "
                   "the scan keeps its 56-skip steps")
  endif()
endif()
