#!/bin/sh
# Runs serrak on a simulated PBX line for a few seconds and shows what it collected.
# Usage: serrak/examples/demo.sh <build dir> [work dir]
set -eu
build=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
cp "$here/serrak.vbs" "$work/serrak.vbs"

"$build/tools/pbxsim/pbxsim" serial --count 200 --rate 50 --split random --linger 8000 \
  >"$work/line.txt" 2>"$work/pbxsim.err" &
sim=$!
i=0
while [ ! -s "$work/line.txt" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
device=$(head -n 1 "$work/line.txt")
printf '[COM Service]\nsiteid=12\ncom_device=%s\ncom_interval=150\n' "$device" >"$work/serrak.ini"

# Ticks 100 times faster than real time: a file every 1.51 s.
RALVEK_HOME="$work" RALVEK_EVENT_LOG="$work/events.jsonl" RALVEK_TIME_SCALE=100 \
  "$build/serrak/serrak" --debug 2>"$work/serrak.err" &
svc=$!
sleep 6
kill -INT $svc
wait $svc || true
kill $sim 2>/dev/null || true
wait $sim 2>/dev/null || true

echo "== finished files in $work/data"
ls -l "$work/data"
echo "== what the script wrote (summary.txt)"
cat "$work/summary.txt"
echo "== records check"
"$build/tools/pbxsim/pbxsim" check --dir "$work/data" --from serial1 --count 200
