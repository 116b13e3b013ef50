#!/usr/bin/env bash
# Builds the libFuzzer targets in build-fuzz (clang, AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for a bounded time from its seed corpus in fuzz/corpus/<target>/.
# Usage: scripts/fuzz.sh [seconds per target, default 20]
# Longer runs: scripts/fuzz.sh 3600, or one target by hand:
#   build-fuzz/fuzz/ini_fuzz -max_total_time=3600 build-fuzz/fuzz/corpus-ini_fuzz fuzz/corpus/ini_fuzz
# A crash leaves crash-<hash> in the working directory; rerun it with the target and that file.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
build=$here/build-fuzz
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -DRALVEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DRALVEK_WERROR=ON \
  -DRALVEK_COMPONENTS="fuzz" -DRALVEK_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$build" --target fuzz_all -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" -L fuzz --output-on-failure -j"$(nproc)"
