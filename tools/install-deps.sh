#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
# Each area of the project lists its packages in tools/deps/*.txt, one a line.
set -euo pipefail
cd "$(dirname "$0")"
mapfile -t packages < <(cat deps/*.txt | sed 's/#.*//' | tr -s ' \t' '\n' | grep -v '^$' | sort -u)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi
