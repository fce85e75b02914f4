#!/usr/bin/env bash
# In a real terminal, the grid around one hit shows exactly the hit's letters
# in reverse video and nothing else. Runs elsScan in a detached tmux session of
# fixed size on the Shift-JIS sample, searches, draws hit 1 with p, and reads
# the screen back with its attributes (capture-pane -e). Then Ctrl-C, typed
# at the prompt, ends the program with status 1 and leaves the cursor on a
# fresh line, where the shell's next words start.
#
#   tmux_grid_test.sh <elsScan binary> <source dir>     exit 77: no tmux
#
# tmux understands UTF-8 only and drops the Shift-JIS bytes, so the search
# string is made of ASCII letters: with -c the sample holds "OPEN9:30", where
# P and ':' stand 4 bytes apart. That is the only forward hit of "P:", so it
# is hit 1, with the triple (98,100,102).
set -u

exe=$1
src=$2
command -v tmux >/dev/null || { echo "tmux not found: skipped"; exit 77; }
command -v python3 >/dev/null || { echo "python3 not found: skipped"; exit 77; }

socket="elsscan-grid-$$"
tmux_() { tmux -L "$socket" -f /dev/null "$@"; }
trap 'tmux_ kill-server 2>/dev/null' EXIT

fail() {
  echo "FAIL: $*"
  echo "--- screen:"
  tmux_ capture-pane -p -e -S - -t grid | cat -v
  exit 1
}

# Waits until the screen ends with the n-th prompt (tmux drops the blank that
# ends it), or fails after 20 seconds.
wait_for_prompt() {
  for _ in $(seq 200); do
    local screen
    screen=$(tmux_ capture-pane -p -S - -t grid)
    if [ "$(grep -o 'command:' <<<"$screen" | wc -l)" -ge "$1" ] &&
       [ "$(sed '/^$/d' <<<"$screen" | tail -n 1)" = "command:" ]; then
      return 0
    fi
    sleep 0.1
  done
  fail "timed out waiting for prompt $1"
}

tmux_ new-session -d -s grid -x 120 -y 60 \
  "trap : INT; env LC_ALL=C '$exe' -c '$src/samples/japanese-sjis.txt'; echo \"status \$?\"; sleep 60"
wait_for_prompt 1
tmux_ send-keys -t grid "/P:" Enter
wait_for_prompt 2
tmux_ send-keys -t grid "p 1" Enter
wait_for_prompt 3
tmux_ capture-pane -p -S - -t grid | grep -qF "[skip=4, string=(98,100,102), top=" ||
  fail "no window header for hit 1 (98,100,102)"

screen=$(tmux_ capture-pane -p -e -S - -t grid)
reversed=$(python3 -c '
import re, sys
reverse = False
shown = []
for token in re.split(r"(\x1b\[[0-9;]*m)", sys.stdin.read()):
    if token.startswith("\x1b["):
        for code in (token[2:-1].split(";") if token[2:-1] else ["0"]):
            if code in ("0", "27"):
                reverse = False
            elif code == "7":
                reverse = True
    elif reverse and token:
        shown.append(token)
print("|".join(shown))
' <<<"$screen")

# Two separate cells, each on its own: P, then ':' four bytes further on.
[ "$reversed" = "P|:" ] || fail "reverse video shows \"$reversed\", expected \"P|:\""
echo "ok: exactly P and : are in reverse video"

tmux_ send-keys -t grid C-c
for _ in $(seq 200); do
  tmux_ capture-pane -p -S - -t grid | grep -q '^status ' && break
  sleep 0.1
done
tmux_ capture-pane -p -S - -t grid | grep -qx 'status 1' ||
  fail "after Ctrl-C the line \"status 1\" does not stand on a line of its own"
echo "ok: Ctrl-C at the prompt ends the program with status 1 on a fresh line"
