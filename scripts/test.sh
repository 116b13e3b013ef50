#!/usr/bin/env bash
# Builds a Release tree (-O3) and an AddressSanitizer+UndefinedBehaviorSanitizer Debug tree, both
# with warnings as errors, and runs every test in both, then runs each fuzz target for a bounded
# time in a clang tree (scripts/fuzz.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

"$here/scripts/setup.sh" "$here/build" -DCMAKE_BUILD_TYPE=Release -DRALVEK_WERROR=ON
echo "== tests in build"
ctest --test-dir "$here/build" --output-on-failure -j"$jobs" --timeout 300

# The sanitizer tree leaves out what only measures (bench) or packs (packaging) the programs.
"$here/scripts/setup.sh" "$here/build-asan" -DRALVEK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DRALVEK_WERROR=ON \
  "-DRALVEK_COMPONENTS=service-host;pemrod;vbscript;tolvin;serrak;quendor;brastel;console;tools/pbxsim;tests"
echo "== tests in build-asan"
ctest --test-dir "$here/build-asan" --output-on-failure -j"$jobs" --timeout 300

echo "== fuzz targets"
"$here/scripts/fuzz.sh" 10
