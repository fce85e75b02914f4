# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers, posix
# thread flavour (std::thread needs it). Programs come out static: they need
# no DLL besides the system's own. When Wine is installed, CTest runs them
# through it.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ELSSCAN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ELSSCAN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ELSSCAN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ELSSCAN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ELSSCAN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthreads linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Wine runs them with a prefix of the build tree's own, quietly.
find_program(ELSSCAN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(ELSSCAN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all
      ${ELSSCAN_WINE})
endif()

# GoogleTest for the tests, built from source with the same compiler.
if(EXISTS /usr/src/googletest/CMakeLists.txt)
  set(ELSSCAN_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "")
endif()
