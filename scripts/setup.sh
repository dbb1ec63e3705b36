#!/usr/bin/env bash
# Installs the Debian packages footlight builds with, when any is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest
  libbenchmark-dev
  libglm-dev
  libstb-dev
  libmeshoptimizer-dev
  librecast-dev
  libtinyobjloader-dev
  libboost-dev
  libcli11-dev
  libosmesa6-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libswscale-dev libavutil-dev libavformat-dev libavcodec-dev libswresample-dev
  clang libclang-rt-dev time
  stress-ng
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "setup: these packages are missing and this user cannot install them: ${missing[*]}" >&2
    echo "setup: run as root, or install them with: apt-get install ${missing[*]}" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get update -qq || ! $SUDO apt-get install -y -qq "${missing[@]}"; then
  echo "setup: could not install ${missing[*]}" >&2
  exit 1
fi
