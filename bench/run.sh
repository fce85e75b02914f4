#!/usr/bin/env bash
# Benchmarks the scan on the letters of the King James Bible: the plain loop
# against the joined scan in the same run, the joined scan on the text
# repeated 16 and 32 times, 160 times (on one thread and on all) and 600
# times, the memory that hits take, one thread against all, the listing
# after a q, Ctrl-C latency, the loader's peak memory, the real program
# loading the text repeated 160 and 600 times (the 160 also with --letters,
# and a Ctrl-C while it loads),
# the real program on a scripted session (and with --no-pager), and the
# Windows program under Wine
# against the Linux one (bench/windows.sh). Prints Markdown tables.
# Usage: bench/run.sh [fast-runs (default 3)]
#
# The corpus comes from Debian's bible-kjv-text (read through the bible
# program of bible-kjv), installed when missing: every verse without its
# reference, letters only, upper case, 3,222,423 bytes. The plain loop over
# all skips (estimated at 42 to 49 minutes in the README's runs on a 2-core
# machine) is not run whole: a sample of its skips is timed and scaled by the
# number of start positions, and marked "est.". The texts repeated 16, 32,
# 160 and 600 times (51.5 MB, 103 MB, 515.6 MB and 1.93 GB; the last two
# for searching and loading) are made here from the corpus and never
# committed.
# The machine may be shared: the joined scan's time is the best of its runs,
# its processor time (all threads, user and system) is given beside it, and
# the first line of the report gives the load average at the start.
# Installing packages needs root or sudo.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
corpus_dir=$root/bench/corpus
raw=$corpus_dir/kjv-verses.txt
corpus=$corpus_dir/kjv-letters.txt
fast_runs=${1:-3}
sample_skips=2000

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

make_corpus() {
  if ! command -v bible > /dev/null; then
    as_root apt-get update -qq
    as_root apt-get install -y -qq bible-kjv bible-kjv-text > /dev/null
  fi
  mkdir -p "$corpus_dir"
  # -f: one verse a line, each after its reference ("Ge1:1 In the ...").
  bible -f "Gen1:1-Rev22:21" > "$raw"
  sed 's/^[^ ]* //' "$raw" | tr -cd 'A-Za-z' | tr 'a-z' 'A-Z' > "$corpus"
}

"$root/tools/install-deps.sh" bench
# Both files are needed: the letters for the scans, the verses for loading.
[ -s "$corpus" ] && [ -s "$raw" ] || make_corpus
size=$(wc -c < "$corpus")
if [ "$size" != 3222423 ]; then
  echo "corpus is $size bytes, not 3222423: remove $corpus_dir and run again" >&2
  exit 1
fi
# repeated N: the corpus N times over, made once.
repeated() {
  local file=$corpus_dir/kjv-letters-x$1.txt
  if [ "$(wc -c 2> /dev/null < "$file" || echo 0)" != $((size * $1)) ]; then
    for _ in $(seq "$1"); do cat "$corpus"; done > "$file"
  fi
  echo "$file"
}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DELSSCAN_BENCH=ON \
      -DELSSCAN_TESTS=OFF > /dev/null
cmake --build "$build" -j2 --target scan_bench elsScan > /dev/null
bench=$build/bench/scan_bench

# value KEY LINE: the value of KEY=... in a line of scan_bench output.
value() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<< "$2"; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0fx", a / b }'; }

# best_fast STRING ALL [TEXT [THREADS]]: the fastest of the joined scan's runs.
best_fast() {
  local best="" line
  for _ in $(seq "$fast_runs"); do
    line=$("$bench" scan "${3:-$corpus}" fast "$1" "$2" ${4:+"$4"} 2> /dev/null)
    if [ -z "$best" ] || awk -v a="$(value seconds "$line")" -v b="$(value seconds "$best")" \
        'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}

echo "Corpus: bench/corpus/$(basename "$corpus") ($size bytes); $(nproc) cores;" \
     "load average $(cut -d ' ' -f 1-3 /proc/loadavg) at the start; $(date -u +%Y-%m-%d)"
echo
echo "| Workload, both directions | Hits (forward + backward) | Plain loop | Joined scan | Speed-up | Target | Same hits | Peak memory plain / joined | Joined, bytes per hit |"
echo "|---|---|---|---|---|---|---|---|---|"
row() {  # label string all target
  local fast plain hits fast_s plain_s plain_text same plain_mem per_hit
  fast=$(best_fast "$2" "$3")
  hits="$(value forward "$fast") + $(value backward "$fast")"
  fast_s=$(value seconds "$fast")
  if [ "$3" = 1 ]; then
    plain=$("$bench" sample "$corpus" "$2" "$3" "$sample_skips" 2> /dev/null)
    plain_s=$(value estimated_seconds "$plain")
    plain_text="$(awk -v s="$plain_s" 'BEGIN { printf "%.0f s (%.1f min)", s, s / 60 }') est."
    same="not run whole"
    plain_mem="-"
  else
    plain=$("$bench" scan "$corpus" plain "$2" "$3" 2> /dev/null)
    plain_s=$(value seconds "$plain")
    plain_text="$(printf '%.2f s' "$plain_s")"
    same=$([ "$(value checksum "$plain")" = "$(value checksum "$fast")" ] && echo yes || echo NO)
    plain_mem=$(mb "$(value peak_bytes "$plain")")
  fi
  per_hit=$(awk -v b="$(value peak_bytes "$fast")" -v f="$(value forward "$fast")" \
            -v r="$(value backward "$fast")" 'BEGIN { printf "%.2f", b / (f + r) }')
  printf '| `%s` | %s | %s | %.3f s | %s | %s | %s | %s / %s | %s |\n' "$1" "$hits" \
    "$plain_text" "$fast_s" "$(ratio "$plain_s" "$fast_s")" "$4" "$same" "$plain_mem" \
    "$(mb "$(value peak_bytes "$fast")")" "$per_hit"
}
row "/MOSES" MOSES 0 "200x"
row "/GOD" GOD 0 "50x"
row "/MOSES/a" MOSES 1 "under 0.6 s"

secs() { awk -v s="$1" 'BEGIN { printf "%.3f s", s }'; }

echo
echo "| \`/MOSES\` (limit 10000), both directions | Size | Hits | Best time | Processor time | Time / (size ratio x single text's) | Target |"
echo "|---|---|---|---|---|---|---|"
single=$(best_fast MOSES 0)
for times in 1 16 32; do
  text=$corpus
  [ "$times" = 1 ] || text=$(repeated "$times")
  line=$single
  [ "$times" = 1 ] || line=$(best_fast MOSES 0 "$text")
  ratio=$(awk -v t="$(value seconds "$line")" -v s="$(value seconds "$single")" -v n="$times" \
          'BEGIN { printf "%.2f", t / (n * s) }')
  cpu_ratio=$(awk -v t="$(value cpu_seconds "$line")" -v s="$(value cpu_seconds "$single")" \
              -v n="$times" 'BEGIN { printf "%.2f", t / (n * s) }')
  printf '| King James letters x %s | %s | %s + %s | %s | %s | %s (processor time %s) | %s |\n' \
    "$times" "$(mb "$(wc -c < "$text")")" "$(value forward "$line")" "$(value backward "$line")" \
    "$(secs "$(value seconds "$line")")" "$(secs "$(value cpu_seconds "$line")")" "$ratio" \
    "$cpu_ratio" "$([ "$times" = 1 ] && echo - || echo "at most 1.3")"
  [ "$times" = 16 ] && x16=$line
done

# The long texts: x 160 on one thread and on all, and x 600 on all against
# the x 16 time above (600 / 16 = 37.5 times the letters).
echo
echo "| \`/MOSES\` (limit 10000) on the long texts | Size | Threads | Hits | Best time | Processor time | Measure | Target |"
echo "|---|---|---|---|---|---|---|---|"
long_row() {  # times threads line measure target
  printf '| King James letters x %s | %s | %s | %s + %s | %s | %s | %s | %s |\n' "$1" \
    "$(mb "$(wc -c < "$(repeated "$1")")")" "$2" "$(value forward "$3")" "$(value backward "$3")" \
    "$(secs "$(value seconds "$3")")" "$(secs "$(value cpu_seconds "$3")")" "$4" "$5"
}
text=$(repeated 160)
one=$(best_fast MOSES 0 "$text" 1)
all=$(best_fast MOSES 0 "$text")
long_row 160 1 "$one" - -
long_row 160 "$(nproc)" "$all" \
  "$(awk -v a="$(value seconds "$one")" -v b="$(value seconds "$all")" \
     'BEGIN { printf "%.2fx over one thread", a / b }')" "at most 8 s; at least 1.7x on 2 cores"
[ "$(value checksum "$one")" = "$(value checksum "$all")" ] || echo "x 160: the hits of one thread and of all differ"
line=$(best_fast MOSES 0 "$(repeated 600)")
long_row 600 "$(nproc)" "$line" \
  "$(awk -v t="$(value seconds "$line")" -v s="$(value seconds "$x16")" \
     'BEGIN { printf "%.2f of 37.5 x the x 16 time", t / (37.5 * s) }')" "at most 1.3"

echo
echo "| Memory of the hits | Hits | Time | Peak memory over the loaded text | Bytes per hit | Target |"
echo "|---|---|---|---|---|---|"
# /GQD has almost no hits: its peak is the scan's working set without hits.
god=$(best_fast GOD 0)
none=$(best_fast GQD 0)
hits=$(( $(value forward "$god") + $(value backward "$god") ))
printf '| `/GOD` (limit 10000), over `/GQD` (%s hits) | %s | %s | %s (`/GQD`: %s) | %s | at most 6 |\n' \
  "$(( $(value forward "$none") + $(value backward "$none") ))" "$hits" \
  "$(secs "$(value seconds "$god")")" "$(mb "$(value peak_bytes "$god")")" \
  "$(mb "$(value peak_bytes "$none")")" \
  "$(awk -v a="$(value peak_bytes "$god")" -v b="$(value peak_bytes "$none")" -v h="$hits" \
     'BEGIN { printf "%.2f", (a - b) / h }')"
goda=$("$bench" scan "$corpus" fast GOD 1 2> /dev/null)
hits=$(( $(value forward "$goda") + $(value backward "$goda") ))
printf '| `/GOD/a` (one run) | %s | %s (processor %s) | %s | %s | under 10 s, at most 6 |\n' "$hits" \
  "$(secs "$(value seconds "$goda")")" "$(secs "$(value cpu_seconds "$goda")")" \
  "$(mb "$(value peak_bytes "$goda")")" \
  "$(awk -v a="$(value peak_bytes "$goda")" -v h="$hits" 'BEGIN { printf "%.2f", a / h }')"

echo
echo "| Threads, \`/MOSES/a\` | Best time | Processor time | Speed-up | Target |"
echo "|---|---|---|---|---|"
one=$(best_fast MOSES 1 "$corpus" 1)
all=$(best_fast MOSES 1)
printf '| 1 | %s | %s | - | - |\n' "$(secs "$(value seconds "$one")")" \
  "$(secs "$(value cpu_seconds "$one")")"
printf '| %s (one per core) | %s | %s | %sx | at least 1.7x on 2 cores |\n' "$(nproc)" \
  "$(secs "$(value seconds "$all")")" "$(secs "$(value cpu_seconds "$all")")" \
  "$(awk -v a="$(value seconds "$one")" -v b="$(value seconds "$all")" 'BEGIN { printf "%.2f", a / b }')"
same=yes
[ "$(value checksum "$one")" = "$(value checksum "$all")" ] || same=NO
reference=$("$bench" scan "$corpus" fast MOSES 0 1 2> /dev/null)
for threads in 2 3 8 16; do
  line=$("$bench" scan "$corpus" fast MOSES 0 "$threads" 2> /dev/null)
  [ "$(value checksum "$line")" = "$(value checksum "$reference")" ] || same=NO
done
echo
echo "Same hits in the same order with 1, 2, 3, 8 and 16 threads (\`/MOSES\`; \`/MOSES/a\` with 1 and all): $same"

echo
line=$("$bench" quit "$corpus" GOD 2 2> /dev/null)
echo "| After q | Hits in the section | Time of the listing | Target |"
echo "|---|---|---|---|"
printf '| `/GOD/a` stopped after 2 s, `v`, q at the first prompt | %s | %s ms | under 100 ms |\n' \
  "$(value listed "$line")" "$(awk -v s="$(value seconds "$line")" 'BEGIN { printf "%.2f", s * 1000 }')"

echo
echo "| Ctrl-C during | Worst time from SIGINT to the scan's return | Scans stopped |"
echo "|---|---|---|"
for workload in "MOSES 0 /MOSES" "GOD 0 /GOD" "MOSES 1 /MOSES/a"; do
  set -- $workload
  line=$("$bench" interrupt "$corpus" "$1" "$2" 20 2> /dev/null)
  printf '| `%s` | %s ms | %s of %s |\n' "$3" "$(value worst_latency_ms "$line")" \
    "$(value stopped "$line")" "$(value trials "$line")"
done

echo
line=$("$bench" load "$raw")
file_bytes=$(value file_bytes "$line")
peak=$(value peak_bytes "$line")
echo "| Loading | File | Peak memory | Peak / file |"
echo "|---|---|---|---|"
printf '| the verses, line breaks and all | %s | %s | %s |\n' "$(mb "$file_bytes")" "$(mb "$peak")" \
  "$(awk -v p="$peak" -v f="$file_bytes" 'BEGIN { printf "%.2f", p / f }')"

# The real program loading the repeated letters, with q alone: the best of
# the runs (the file is in the page cache after the first). The letters have
# no line breaks, so the text and the kind map each take the file's size.
echo
echo "| Loading, the real program with \`q\` alone | File | Best time | Processor time | Peak memory | Peak / (text + kind map) | Target |"
echo "|---|---|---|---|---|---|---|"
best_program() {  # text [program]: the fastest of the runs
  local best="" line
  for _ in $(seq "$fast_runs"); do
    line=$("$bench" program "${2:-$build/elsScan}" "$1" -1)
    if [ -z "$best" ] || awk -v a="$(value seconds "$line")" -v b="$(value seconds "$best")" \
        'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  echo "$best"
}
# The same load with --letters, through a script that execs the program
# with the option (the peak is the program's: exec keeps the process).
letters_program=$build/elsScan-letters
printf '#!/bin/sh\nexec "%s" --letters "$@"\n' "$build/elsScan" > "$letters_program"
chmod +x "$letters_program"
for workload in "160 - at most 0.6 s; at most 1.05" "160 --letters at most 1.5 x the load without it; at most 1.05" \
                "600 - at most 2.5 s"; do
  set -- $workload
  times=$1
  option=$2
  shift 2
  text=$(repeated "$times")
  if [ "$option" = --letters ]; then
    line=$(best_program "$text" "$letters_program")
  else
    line=$(best_program "$text")
  fi
  [ "$times" = 160 ] && [ "$option" = - ] && load160=$(value seconds "$line")
  file_bytes=$(wc -c < "$text")
  printf '| King James letters x %s%s | %s | %s%s | %s | %s | %s | %s |\n' "$times" \
    "$([ "$option" = - ] || echo ", $option")" \
    "$(mb "$file_bytes")" "$(secs "$(value seconds "$line")")" \
    "$([ "$(value status "$line")" = 0 ] || echo " (status $(value status "$line"))")" \
    "$(secs "$(value cpu_seconds "$line")")" \
    "$(mb "$(value peak_bytes "$line")")" \
    "$(awk -v p="$(value peak_bytes "$line")" -v f="$file_bytes" 'BEGIN { printf "%.3f", p / (2 * f) }')" \
    "$*"
done

# Ctrl-C 0.3 s into loading, and (as a fast load may be over by then)
# halfway through the best load above.
echo
echo "| Ctrl-C while loading x 160 | Sent after | Still loading | Time from SIGINT to the exit | Exit status | Target |"
echo "|---|---|---|---|---|---|"
text=$(repeated 160)
for delay in 0.3 "$(awk -v s="$load160" 'BEGIN { printf "%.3f", s / 2 }')"; do
  line=$("$bench" program "$build/elsScan" "$text" "$delay")
  printf '| King James letters x 160 | %s s | %s | %s ms | %s | under 100 ms |\n' "$delay" \
    "$([ "$(value prompted "$line")" = 0 ] && echo yes || echo "no: the prompt had come")" \
    "$(value latency_ms "$line")" "$(value status "$line")"
done

# The real program: a search and a listing again of its 53,067 hits, each
# page answered with an empty line, then q; all output to /dev/null.
session=$build/bench-session.txt
blank_lines() { awk -v n="$1" 'BEGIN { for (i = 0; i < n; ++i) print "" }'; }
{ echo "/MOSES"; blank_lines 3000; echo "v"; blank_lines 3000; echo "q"; } > "$session"
start=$(date +%s.%N)
"$build/elsScan" "$corpus" < "$session" > /dev/null 2> "$build/bench-session.err" || true
end=$(date +%s.%N)
echo
echo "| End to end | Time |"
echo "|---|---|"
if grep -q "searching forward" "$build/bench-session.err"; then
  printf '| `elsScan` on the corpus: `/MOSES`, `v`, `q`, output to /dev/null | %.2f s |\n' \
    "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"
else
  echo '| `elsScan` on the corpus: `/MOSES`, `v`, `q` | not measured: this build has no search command yet |'
fi
# The same listings with --no-pager, which needs no replies.
start=$(date +%s.%N)
printf '/MOSES\nv\nq\n' | "$build/elsScan" --no-pager "$corpus" 2> /dev/null | wc -l > "$build/bench-no-pager.lines"
end=$(date +%s.%N)
printf '| `elsScan --no-pager` on the corpus: `/MOSES`, `v`, `q`, %s hit lines counted by `wc -l` | %.2f s |\n' \
  "$(cat "$build/bench-no-pager.lines")" "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')"

# The Windows build of the scan under Wine, against the Linux build.
echo
"$root/bench/windows.sh" "$fast_runs"
