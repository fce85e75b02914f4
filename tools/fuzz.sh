#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz/ with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each of them from seeds
# made of the end-to-end cases.
#   tools/fuzz.sh           each target for 40 seconds at most (as CI does)
#   tools/fuzz.sh 3600      each target for an hour
# A crash leaves its input as build-fuzz/crash-*; run the target on that file
# to see it again. New inputs found stay in build-fuzz/corpus/ for later runs.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh clang

seconds=${1:-40}
build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DELSSCAN_FUZZ=ON -DELSSCAN_TESTS=OFF >/dev/null
cmake --build "$build" -j 2 --target fast_scan_fuzz session_fuzz

# Seeds: every end-to-end case as a session (its text and its script), and
# its searches as scans of its text.
mkdir -p "$build/seeds/session" "$build/seeds/fast_scan" "$build/corpus/session" \
  "$build/corpus/fast_scan"
python3 - "$build/seeds" tests/e2e <<'PY'
import os, sys
seeds, cases = sys.argv[1], sys.argv[2]
for case in sorted(os.listdir(cases)):
    folder = os.path.join(cases, case)
    try:
        args = open(os.path.join(folder, "args")).read().split("\n")
    except OSError:
        continue
    args = [a for a in args if a]
    if not args:
        continue
    try:
        text = open(os.path.join(folder, args[-1]), "rb").read()[:4000]
    except OSError:
        continue
    script = b""
    if os.path.exists(os.path.join(folder, "stdin")):
        script = open(os.path.join(folder, "stdin"), "rb").read()
    flag = 1 if args[0] == "-c" else 0
    session = bytes([flag, len(text) & 255, len(text) >> 8]) + text + script
    open(os.path.join(seeds, "session", case), "wb").write(session[:8000])
    for n, line in enumerate(script.split(b"\n")):
        if line.startswith(b"/") and len(line) > 2:
            pattern = line[1:].split(b"/a")[0][:255]
            scan = bytes([n * 37 % 256, 7, 20, 0 if line.endswith(b"/a") else 50, len(pattern),
                          n * 11 % 256])
            open(os.path.join(seeds, "fast_scan", f"{case}_{n}"), "wb").write(
                scan + pattern + text[:2000])
PY

status=0
for target in fast_scan session; do
  echo "== ${target}_fuzz for ${seconds} s"
  log="$build/${target}_fuzz.log"
  (cd "$build" && "./${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 "corpus/$target" "seeds/$target") >"$log" 2>&1 ||
    status=1
  # The findings, or the last lines of progress and the totals.
  grep -E 'ERROR|SUMMARY|differs|crash-|^stat::number_of_executed_units|^#[0-9]+ *DONE' "$log" || true
done
exit $status
