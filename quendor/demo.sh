#!/usr/bin/env bash
# Runs quendor against two simulated exchanges for a few seconds (time 20 times faster) and
# shows the .dat files it wrote. Usage: quendor/demo.sh <build dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build dir>}" && pwd)
home=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$home"' EXIT
port=$((20000 + RANDOM % 20000))
"$build/tools/pbxsim/pbxsim" exchange --listen 127.0.0.31:$port --rate 20 --size 60 </dev/null >/dev/null &
"$build/tools/pbxsim/pbxsim" exchange --listen 127.0.0.32:$port --rate 20 --size 60 </dev/null >/dev/null &
printf '[TCP Service]\nfile_interval=30\n1=127.0.0.31:%s\n2=127.0.0.32:%s\n' $port $port > "$home/quendor.ini"
RALVEK_HOME="$home" RALVEK_EVENT_LOG="$home/events.jsonl" RALVEK_TIME_SCALE=20 \
  "$build/quendor/quendor" --debug 2>/dev/null &
quendor=$!
sleep 8
kill -TERM $quendor && wait $quendor || true
echo "== events"
sed 's/.*"text":"\([^"]*\)".*/\1/' "$home/events.jsonl"
echo "== data files"
ls -l "$home/data"
for f in "$home"/data/1_*.dat; do echo "== head of $(basename "$f")"; head -3 "$f"; break; done
