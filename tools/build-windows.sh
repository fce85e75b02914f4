#!/usr/bin/env bash
# Cross-builds the Windows program on Debian and packs it:
#   build-windows/elsScan.exe                    one static 64-bit program that
#                                                needs no DLL besides the system's
#   build-windows/elsScan-<version>-win64.zip    the program, README-Windows.txt
#                                                (doc/, for the Windows user,
#                                                CR LF), LICENSE, samples/
# made with MinGW-w64 (posix threads). Installs the compiler where missing.
# tools/test.sh --windows builds the same tree and runs the tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh windows

build=build-windows
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake)
[ -n "${CI:-}" ] && flags+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake --no-warn-unused-cli -S . -B "$build" "${flags[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target elsScan

# g++ for Windows keeps the stack aligned to 16 bytes only, so a move of a
# 256- or 512-bit value to or from memory with an instruction that needs 32
# or 64 may fault. The assembler encodes them as unaligned moves
# (cmake/build_flags.cmake): none may be left, in the runtime's code either.
aligned=$(x86_64-w64-mingw32-objdump -d --no-show-raw-insn "$build/elsScan.exe" |
          grep -E '\s(v?movdq?a(32|64)?|v?movap[sd]|v?movnt[a-z]*)\s.*(%[yz]mm.*\(|\(.*%[yz]mm)' || true)
if [ -n "$aligned" ]; then
  echo "build-windows.sh: moves of 256- or 512-bit values that need alignment:" >&2
  echo "$aligned" | head -20 >&2
  exit 1
fi

# The project's version where CMakeLists.txt gives one, else the one the usage
# text shows.
version=$(sed -n 's/^project(elsScan[^)]*VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || version=$(sed -n 's/.*"Version: \([0-9.]*\)".*/\1/p' src/driver/program.cc)
name="elsScan-$version-win64"
stage="$build/package/$name"
rm -rf "$build/package" "$build/$name.zip"
mkdir -p "$stage"
x86_64-w64-mingw32-strip -o "$stage/elsScan.exe" "$build/elsScan.exe"
cp doc/README-Windows.txt LICENSE "$stage/"
cp -r samples "$stage/"
(cd "$build/package" && zip -q -r -X "../$name.zip" "$name")
# The licence asks for its notice in every copy.
listing=$(unzip -Z1 "$build/$name.zip")
for file in elsScan.exe README-Windows.txt LICENSE samples/genesis.txt; do
  grep -qxF "$name/$file" <<< "$listing" || { echo "build-windows.sh: $name.zip lacks $file" >&2; exit 1; }
done
# Notepad shows the README's lines apart only if each one ends in CR LF: as
# many lines end in CR LF as there are line feeds, and the last byte is one.
readme="$build/package/README-Windows.txt.zipped"
unzip -p "$build/$name.zip" "$name/README-Windows.txt" > "$readme"
line_feeds=$(tr -cd '\n' < "$readme" | wc -c)
if [ "$line_feeds" -lt 20 ] || [ "$(grep -c $'\r$' "$readme")" != "$line_feeds" ] ||
   [ "$(tail -c 1 "$readme" | od -An -tx1 | tr -d ' ')" != 0a ]; then
  echo "build-windows.sh: README-Windows.txt in $name.zip does not end every line in CR LF" >&2
  exit 1
fi
echo "built $build/elsScan.exe and $build/$name.zip"
