#!/usr/bin/env bash
# Builds a normal and an AddressSanitizer+UndefinedBehaviorSanitizer tree and runs every test in both.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/setup.sh" "$here/build"
"$here/scripts/setup.sh" "$here/build-asan" -DRALVEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for tree in build build-asan; do
  echo "== tests in $tree"
  ctest --test-dir "$here/$tree" --output-on-failure -j"$(nproc)" --timeout 300
done
