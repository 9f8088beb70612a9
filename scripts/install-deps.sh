#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Noru CD Ripper needs.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libgl-dev
  libcurl4-openssl-dev nlohmann-json3-dev zlib1g-dev
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  libtag1-dev libudev-dev libcue-dev libdiscid-dev uuid-dev linux-libc-dev
  libgtest-dev libgmock-dev libcpp-httplib-dev libssl-dev libbenchmark-dev libpugixml-dev
  ffmpeg xvfb xauth python3 fonts-dejavu-core
  appstream dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
