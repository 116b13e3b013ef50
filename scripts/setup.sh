#!/usr/bin/env bash
# Installs the Debian packages the suite needs and builds it into build/.
# Usage: scripts/setup.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

packages=(build-essential cmake pkg-config libasio-dev libsystemd-dev qt6-base-dev
          libgtest-dev libgmock-dev googletest libbenchmark-dev socat clang
          libclang-rt-14-dev python3 iproute2 iputils-ping rsync lintian systemd)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "${missing[@]}"
fi

build=${1:-$here/build}
shift || true
cmake -S "$here" -B "$build" "$@"
cmake --build "$build" -j"$(nproc)"
