#!/usr/bin/env bash
# Searches in a memory control group (cgroup) of 320 MB of its own, fresh for
# each, in which a file of 200 MB was written and then read twice before the
# program starts, so that its page cache is active, as a text read twice
# would leave it. The system takes that cache back as readily as inactive
# cache, so it is room:
#  - "AAA" over every skip of a text of 8,000 A's (about 130 MB of hits)
#    fits, and the program ends with status 0;
#  - over a text of 30,000 A's (about 900 MB of hits) it does not: the
#    program must end with its own "cannot get the memory of ..." and
#    status 1, not be killed by the system for the group (status 137).
#
# The groups are made below this shell's own memory group and removed again.
# That needs root and a memory hierarchy that allows it: version 1, or
# version 2 where this shell's group hands the memory controller down.
#
#   memory_group_test.sh <elsScan binary> <source dir>    exit 77: no group can be made
set -u

exe=$1
limit=$((320 << 20))
cache_mb=200

skip() {
  echo "skipped: $*"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "making a memory group needs root"

# The mount point and mount root of the hierarchy of type $1 (cgroup, with
# the memory controller, or cgroup2), from the mount table.
mount_of() {
  awk -v type="$1" '{
    for (i = 7; i <= NF && $i != "-"; i++) {}
    if ($(i + 1) == type && (type == "cgroup2" || $(i + 3) ~ /(^|,)memory(,|$)/)) {
      print $5, $4
      exit
    }
  }' /proc/self/mountinfo
}

# This shell's memory group: version 1 where a memory hierarchy of its own
# is mounted, else version 2.
path=$(awk -F: '$2 ~ /(^|,)memory(,|$)/ { print $3; exit }' /proc/self/cgroup)
if [ -n "$path" ] && read -r mount root < <(mount_of cgroup); then
  limit_file=memory.limit_in_bytes
else
  path=$(awk -F: '$1 == "0" && $2 == "" { print $3; exit }' /proc/self/cgroup)
  read -r mount root < <(mount_of cgroup2) || skip "no memory control group is mounted"
  limit_file=memory.max
fi
[ "$root" = / ] && root=
case "$path" in
  "$root" | "$root"/*) parent=$mount${path#"$root"} ;;
  *) skip "this shell's group $path lies outside the mounted $root" ;;
esac
if [ "$limit_file" = memory.max ]; then
  grep -qw memory "$parent/cgroup.subtree_control" 2>/dev/null ||
    skip "the groups below $parent have no memory controller"
fi

# The cache must be on a disk: a file in tmpfs is not page cache.
dir=$(mktemp -d "$(dirname "$exe")/memory-group-test.XXXXXX") || skip "cannot make a folder beside $exe"
group=
trap 'rm -rf "$dir"; [ -n "$group" ] && rmdir "$group"' EXIT
if [ "$limit_file" = memory.max ]; then active_line=active_file; else active_line=total_active_file; fi

# Runs the program on the text $1 in a fresh group whose page cache is
# active; sets status and err (its standard error).
run_in_group() {
  group=$parent/elsscan-test-$$
  mkdir "$group" 2>/dev/null || skip "cannot make a group in $parent"
  echo "$limit" >"$group/$limit_file" || skip "cannot limit the memory of $group"
  # The subshell moves into the group, makes its cache, then becomes the
  # program.
  (
    echo "$BASHPID" >"$group/cgroup.procs" || exit 99
    dd if=/dev/zero of="$dir/cache" bs=1M count=$cache_mb conv=fsync status=none || exit 98
    cat "$dir/cache" >/dev/null
    cat "$dir/cache" >/dev/null
    awk -v name=$active_line '$1 == name { print int($2 / 1048576) }' "$group/memory.stat" >"$dir/active"
    exec "$exe" "$1" <"$dir/in" >/dev/null 2>"$dir/err"
  )
  status=$?
  [ $status = 99 ] && skip "cannot move a process into $group"
  [ $status = 98 ] && skip "cannot write $cache_mb MB in $dir"
  rm -f "$dir/cache"
  rmdir "$group"
  group=
  err=$(cat "$dir/err")
  local active
  active=$(cat "$dir/active")
  # A kernel that keeps the file inactive tests nothing new here.
  [ "${active:-0}" -ge $((cache_mb / 2)) ] ||
    skip "the file read twice left ${active:-no} MB of active cache, not $cache_mb"
}

printf '/AAA/a\nq\nq\nq\n' >"$dir/in"
failed=0

head -c 8000 /dev/zero | tr '\0' A >"$dir/fits"
run_in_group "$dir/fits"
if [ $status != 0 ] || [[ $err == *"cannot get the memory"* ]]; then
  echo "FAIL: 8,000 A's: status $status (expected 0, without a memory message), standard error ends:"
  tail -c 300 "$dir/err"
  echo
  failed=1
else
  echo "ok: 8,000 A's fit in a group of $limit bytes with $cache_mb MB of active cache"
fi

head -c 30000 /dev/zero | tr '\0' A >"$dir/too-big"
run_in_group "$dir/too-big"
last=$(tail -n 1 "$dir/err")
if [ $status != 1 ] || ! [[ $last =~ cannot\ get\ the\ memory\ of\ [0-9]+( K)?\ bytes$ ]] ||
  [ "$(grep -c 'cannot get the memory' "$dir/err")" != 1 ]; then
  echo "FAIL: 30,000 A's: status $status (expected 1 and one memory message at the end), standard error:"
  cut -c 1-200 "$dir/err"
  failed=1
else
  echo "ok: 30,000 A's: status 1 in a group of $limit bytes with active cache: $last"
fi
exit $failed
