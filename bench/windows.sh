#!/usr/bin/env bash
# The scan benchmark's Windows build, cross-built with MinGW-w64 and run under
# Wine (which runs the program's own x86-64 code) beside the Linux build.
#
#   bench/windows.sh [runs]   times /MOSES/a on the corpus that bench/run.sh
#                             makes, best of runs (default 3) for each program,
#                             taken in turns, and prints a Markdown table
#   bench/windows.sh --check  no timing and no corpus: both programs search
#                             the letters of samples/genesis.txt with each
#                             width of the masks' steps (as scan_bench widths
#                             lists them) and thread count, and must find the
#                             same hits in the same order with the same steps
#
# scan_bench times the scan itself, so Wine's start-up does not count. Builds
# in build-bench/ and build-bench-windows/; installs MinGW-w64 and Wine where
# missing (root or sudo).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
linux_build=$root/build-bench
windows_build=$root/build-bench-windows
corpus=$root/bench/corpus/kjv-letters.txt

check=0
runs=3
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) runs=$1 ;;
esac

"$root/tools/install-deps.sh" windows
warnings=()
[ -n "${CI:-}" ] && warnings+=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=Release -DELSSCAN_BENCH=ON \
      -DELSSCAN_TESTS=OFF "${warnings[@]}" > /dev/null
cmake --build "$linux_build" -j2 --target scan_bench > /dev/null
cmake --no-warn-unused-cli -S "$root" -B "$windows_build" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DELSSCAN_BENCH=ON \
      -DELSSCAN_TESTS=OFF "${warnings[@]}" > /dev/null
cmake --build "$windows_build" -j2 --target scan_bench > /dev/null
linux=$linux_build/bench/scan_bench
windows=$windows_build/bench/scan_bench.exe

# A Wine prefix of the build tree's own, and one Wine server for all runs.
export WINEPREFIX=$windows_build/wineprefix WINEDEBUG=-all
wine=/usr/lib/wine/wine64
timeout 300 "$wine" wineboot --init > /dev/null 2>&1
/usr/lib/wine/wineserver -p || true  # 2: one is running already
trap '/usr/lib/wine/wineserver -k 2> /dev/null || true' EXIT

# value KEY LINE: the value of KEY=... in a line of scan_bench output.
value() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<< "$2"; }
# The hits of a line, their order and the step, without times and memory.
result() { sed -E 's/(seconds|forward_seconds|cpu_seconds|peak_bytes)=[^ ]* ?//g' <<< "$1"; }

if [ "$check" = 1 ]; then
  text=$windows_build/genesis-letters.txt
  tr -cd 'A-Za-z' < "$root/samples/genesis.txt" | tr 'a-z' 'A-Z' > "$text"
  failed=0
  checked=0
  # Strings whose letters are common take the bit maps; a rare one the
  # pairs. /a lifts the skip limit.
  for workload in "GOD 1" "GOD 0" "LORD 1" "JACOB 1" "ISHMAEL 0" "ZZQ 1"; do
    for step in $("$linux" widths); do
      for threads in 1 0; do
        # shellcheck disable=SC2086  # the workload is two words
        here=$("$linux" scan "$text" fast $workload "$threads" "$step" 2> /dev/null)
        there=$("$wine" "$windows" scan "$text" fast $workload "$threads" "$step" 2> /dev/null |
                tr -d '\r')
        checked=$((checked + 1))
        if [ -z "$here" ] || [ "$(result "$here")" != "$(result "$there")" ]; then
          echo "windows.sh: /$workload, step $step, threads $threads:" >&2
          echo "  Linux:   $(result "$here")" >&2
          echo "  Windows: $(result "$there")" >&2
          failed=1
        fi
      done
    done
  done
  [ "$failed" = 0 ] || exit 1
  echo "windows.sh: the Windows scan under Wine finds the Linux scan's hits in $checked runs" \
       "(widest step taken: $(value step "$here"))"
  exit 0
fi

if [ ! -s "$corpus" ]; then
  echo "windows.sh: no $corpus: bench/run.sh makes it" >&2
  exit 1
fi
# best LINE...: the line with the lowest seconds.
best() {
  printf '%s\n' "$@" | awk '{ for (i = 1; i <= NF; ++i) if ($i ~ /^seconds=/) s = substr($i, 9) }
                            NR == 1 || s < low { low = s; line = $0 } END { print line }'
}
linux_lines=()
windows_lines=()
for _ in $(seq "$runs"); do
  linux_lines+=("$("$linux" scan "$corpus" fast MOSES 1 2> /dev/null)")
  windows_lines+=("$("$wine" "$windows" scan "$corpus" fast MOSES 1 2> /dev/null | tr -d '\r')")
done
here=$(best "${linux_lines[@]}")
there=$(best "${windows_lines[@]}")
same=yes
[ "$(result "$here")" = "$(result "$there")" ] || same=NO
echo "| \`/MOSES/a\`, both directions | Best time | Processor time | Widest step | Time / Linux's | Target | Same hits |"
echo "|---|---|---|---|---|---|---|"
printf '| Linux program | %.3f s | %.3f s | %s skips | - | - | - |\n' "$(value seconds "$here")" \
  "$(value cpu_seconds "$here")" "$(value step "$here")"
printf '| Windows program under Wine %s | %.3f s | %.3f s | %s skips | %s | at most 1.2 | %s |\n' \
  "$("$wine" --version 2> /dev/null | sed 's/^wine-//; s/ .*//')" "$(value seconds "$there")" \
  "$(value cpu_seconds "$there")" "$(value step "$there")" \
  "$(awk -v a="$(value seconds "$there")" -v b="$(value seconds "$here")" \
     'BEGIN { printf "%.2f", a / b }')" "$same"
