#!/usr/bin/env bash
# Runs quendor against two simulated exchanges for a few seconds (time 20 times faster: the
# reconnect minute takes 3 s, a 30-second file period 1.5 s), lists the .dat files it wrote and
# proves from them that every record of both exchanges arrived once, whole and in order.
# Usage: quendor/demo.sh <build dir>
set -euo pipefail
build=$(cd "${1:?usage: $0 <build dir>}" && pwd)
pbx=$build/tools/pbxsim/pbxsim
home=$(mktemp -d /tmp/quendor-demo.XXXXXX)
port=$((20000 + RANDOM % 20000))
"$pbx" exchange --listen 127.0.0.31:$port --count 100 --rate 40 --size 60 </dev/null >/dev/null &
sim1=$!
"$pbx" exchange --listen 127.0.0.32:$port --count 100 --rate 40 --size 60 </dev/null >/dev/null &
sim2=$!
trap 'kill $sim1 $sim2 2>/dev/null || true' EXIT
printf '[TCP Service]\nfile_interval=30\n1=127.0.0.31:%s\n2=127.0.0.32:%s\n' $port $port \
  > "$home/quendor.ini"

echo "== quendor in $home, exchanges 127.0.0.31:$port and 127.0.0.32:$port"
RALVEK_HOME="$home" RALVEK_EVENT_LOG="$home/events.jsonl" RALVEK_TIME_SCALE=20 \
  "$build/quendor/quendor" --debug 2>"$home/quendor.stderr" &
quendor=$!
sleep 8
kill -TERM $quendor
wait $quendor || true

echo
echo "== events ($home/events.jsonl)"
sed -e 's/.*"text":"\(.*\)"}$/\1/' -e 's/\\r\\n/ | /g' "$home/events.jsonl"
echo
echo "== finished files in $home/data"
ls -l "$home/data"
echo
echo "== every record arrived once, whole and in order (each exchange's files joined in time order)"
for n in 1 2; do
  mkdir -p "$home/joined$n"
  cat "$home"/data/${n}_*.dat > "$home/joined$n/all.dat"
  "$pbx" check --dir "$home/joined$n" --from 127.0.0.3$n --count 100 --size 60
done
