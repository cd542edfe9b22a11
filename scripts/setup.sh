#!/usr/bin/env bash
# Installs what building and testing need: Debian packages and Python packages.
# Safe to run again: it installs only what is missing.
set -euo pipefail

APT_PACKAGES=(build-essential cmake ninja-build pkg-config binutils
              libre2-dev libtbb-dev libabsl-dev libxxhash-dev libgtest-dev clang-14 libclang-rt-14-dev)

missing=()
for package in "${APT_PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

python3 -m pip install -q --disable-pip-version-check -r "$(dirname "$0")/../requirements-dev.txt"
