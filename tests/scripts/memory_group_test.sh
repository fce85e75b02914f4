#!/usr/bin/env bash
# A search whose hits need far more than the program's memory control group
# (cgroup) allows: "AAA" over every skip of a text of 30,000 A's (about 900 MB
# of hits) in a group of 192 MB. The program must end with its own
# "cannot get the memory of ..." and status 1, not be killed by the system
# for the group (status 137).
#
# The group is made below this shell's own memory group and removed again.
# That needs root and a memory hierarchy that allows it: version 1, or
# version 2 where this shell's group hands the memory controller down.
#
#   memory_group_test.sh <elsScan binary> <source dir>    exit 77: no group can be made
set -u

exe=$1
limit=$((192 << 20))

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

group=$parent/elsscan-test-$$
mkdir "$group" 2>/dev/null || skip "cannot make a group in $parent"
dir=$(mktemp -d)
trap 'rmdir "$group"; rm -rf "$dir"' EXIT
echo "$limit" >"$group/$limit_file" || skip "cannot limit the memory of $group"

head -c 30000 /dev/zero | tr '\0' A >"$dir/text"
printf '/AAA/a\nq\nq\nq\n' >"$dir/in"
# The subshell moves into the group, then becomes the program.
(
  echo "$BASHPID" >"$group/cgroup.procs" || exit 99
  exec "$exe" "$dir/text" <"$dir/in" >/dev/null 2>"$dir/err"
)
status=$?
[ $status = 99 ] && skip "cannot move a process into $group"

last=$(tail -n 1 "$dir/err")
if [ $status != 1 ] || ! [[ $last =~ cannot\ get\ the\ memory\ of\ [0-9]+( K)?\ bytes$ ]] ||
  [ "$(grep -c 'cannot get the memory' "$dir/err")" != 1 ]; then
  echo "FAIL: status $status (expected 1 and one memory message at the end), standard error:"
  cut -c 1-200 "$dir/err"
  exit 1
fi
echo "ok: status 1 in a group of $limit bytes: $last"
