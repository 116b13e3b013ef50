#!/bin/bash
# Runs every shell block of the trial section of docs/operations.md as written, one after the
# other in one shell, as an administrator pasting them would: the built programs on PATH under
# their installed names, a scratch HOME, no display. Fails when any command of a block fails
# (bash -e) or when the whole trial takes longer than its bound.
#
# usage: run_trial.sh <operations.md> <seconds> <name>=<program> ...
set -u
doc=$1 limit=$2
shift 2
work=$(mktemp -d)
pgid=
cleanup() {
  [ -n "$pgid" ] && kill -- "-$pgid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/bin" "$work/home"
for pair in "$@"; do ln -s "${pair#*=}" "$work/bin/${pair%%=*}"; done

# The ```sh blocks between the trial's heading and the next section's.
awk '/^## .*Trying an installation with pbxsim/ { on = 1; next }
     /^## / { on = 0 }
     on && /^```sh$/ { block = 1; n++; printf "echo \"=== block %d\"\n", n; next }
     block && /^```$/ { block = 0; next }
     on && block' "$doc" > "$work/trial.sh"
blocks=$(grep -c '^echo "=== block' "$work/trial.sh")
if [ "$blocks" -lt 5 ]; then
  echo "found $blocks shell blocks in the trial section of $doc; expected at least 5"
  exit 1
fi

cd "$work/home"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u RALVEK_HOME -u RALVEK_TIME_SCALE \
  HOME="$work/home" PATH="$work/bin:$PATH" RALVEK_SYSTEMD_DIR="$work/home" \
  setsid bash -e "$work/trial.sh" < /dev/null &
pgid=$!
for ((tenths = 0; tenths < limit * 10; tenths++)); do
  kill -0 "$pgid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pgid" 2>/dev/null; then
  echo "the trial took longer than $limit seconds"
  exit 1
fi
wait "$pgid"
status=$?
pgid_done=$pgid
pgid=
kill -- "-$pgid_done" 2>/dev/null  # whatever a block left running in the background
[ "$status" -eq 0 ] && echo "all $blocks blocks ran"
exit "$status"
