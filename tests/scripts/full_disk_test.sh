#!/usr/bin/env bash
# Output that cannot be written: standard output, then standard error, sent
# to /dev/full, where every write fails with ENOSPC. The program must say so
# once on standard error (when that still works) and end with status 1, not
# drop the output and report success.
#
#   full_disk_test.sh <elsScan binary> <source dir>     exit 77: no /dev/full
set -u

exe=$1
[ -c /dev/full ] && [ -w /dev/full ] || { echo "/dev/full not found: skipped"; exit 77; }

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf 'ABCAB' > "$dir/text"
failed=0

# expect NAME STATUS EXPECTED_STDERR ACTUAL_STATUS
expect() {
  if [ "$4" != "$2" ] || [ "$(cat "$dir/err")" != "$3" ]; then
    echo "FAIL: $1: status $4 (expected $2), standard error:"
    cat -A "$dir/err"
    failed=1
  fi
}

# The hit lines wait in the buffer until the next message flushes them.
printf '/AB\nq\n' | "$exe" "$dir/text" >/dev/full 2>"$dir/err"
status=$?
expect "hit lines to a full disk" 1 \
  "$(printf 'command: searching forward \ncannot write the output: No space left on device')" $status

# The usage text is flushed only on the way out.
"$exe" -usage >/dev/full 2>"$dir/err"
expect "usage to a full disk" 1 "cannot write the output: No space left on device" $?

# Messages to a full disk: the first prompt fails and nothing can be said.
printf 'q\n' | "$exe" "$dir/text" 2>/dev/full >"$dir/out"
status=$?
: >"$dir/err"
expect "messages to a full disk" 1 "" $status
[ -s "$dir/out" ] && { echo "FAIL: standard output not empty"; failed=1; }

exit $failed
