#!/usr/bin/env bash
# The suite's main job on its built-in example: tolvin receives call records from three
# simulated PBXs (two over TCP, one over UDP) for a few seconds, rotating its files every
# two seconds; the .dat files it produced and the events it logged are shown; then brastel
# moves the files to an example remote folder in one debug run and shows its log.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build" >/dev/null
bin=$here/build
work=$(mktemp -d /tmp/ralvek-demo.XXXXXX)
port=$((20000 + RANDOM % 20000))
sed -e "s/^local_port=.*/local_port=$port/" -e "s/^file_interval=.*/file_interval=2/" \
  "$here/examples/tolvin.ini" > "$work/tolvin.ini"
export RALVEK_HOME=$work RALVEK_EVENT_LOG=$work/events.jsonl

echo "== tolvin in $work, port $port"
"$bin/tolvin/tolvin" --debug 2>"$work/tolvin.stderr" &
tolvin=$!
trap 'kill $tolvin 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q '"id":110' "$work/events.jsonl" 2>/dev/null && break; sleep 0.1; done
sleep 0.2

pbx=$bin/tools/pbxsim/pbxsim
"$pbx" tcp --from 127.0.0.20 --to 127.0.0.1:$port --count 3000 --rate 1000 &
"$pbx" tcp --from 127.0.0.21 --to 127.0.0.1:$port --count 1500 --rate 500 &
"$pbx" udp --from 127.0.0.22 --to 127.0.0.1:$port --count 600 --rate 200 &
wait %2 %3 %4
kill -TERM $tolvin
wait $tolvin || true
trap - EXIT

echo
echo "== finished files in $work/data"
ls -l "$work/data"
echo
echo "== every record arrived once, whole and in order"
"$pbx" check --dir "$work/data" --from 127.0.0.20 --count 3000
"$pbx" check --dir "$work/data" --from 127.0.0.21 --count 1500
"$pbx" check --dir "$work/data" --from 127.0.0.22 --count 600
echo
echo "== events ($work/events.jsonl)"
cat "$work/events.jsonl"

echo
echo "== quendor collects from two simulated HiPath 4000 exchanges"
"$here/quendor/demo.sh" "$bin"
echo
echo "== serrak collects from a simulated serial line and runs the example script"
"$here/serrak/examples/demo.sh" "$bin"

echo
echo "== brastel moves the finished files to $work/remote"
mkdir -p "$work/remote"
cat > "$work/brastel.ini" <<INI
[Service]
DebugMode=1
LocalPath=$work/data/*.dat
RemotePath=$work/remote
INI
"$bin/brastel/brastel" --debug 2>/dev/null
ls -l "$work/remote"
echo
echo "== brastel.log"
tr -d '\r' < "$work/brastel.log"
