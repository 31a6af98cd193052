#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/deps.sh [build|test]
set -euo pipefail
want=(cmake g++ make zlib1g-dev)
if [ "${1:-build}" = test ]; then
  want+=(libgtest-dev clang libclang-rt-14-dev)
fi
missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null ||
    { apt-get update >/dev/null && apt-get install -y --no-install-recommends "${missing[@]}" >/dev/null; }
else
  echo "Please install these Debian packages first: ${missing[*]}" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
