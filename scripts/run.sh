#!/usr/bin/env bash
# Installs what is needed, builds Noru CD Ripper in release mode and starts it. Arguments are
# paths of CUE/BIN disc images, opened as drives at start (File > Open Disc Image… does the same).
set -euo pipefail
images=()
for image in "$@"; do
  images+=("$(realpath -m -- "$image")")
done
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORU_BENCHMARKS=OFF >/dev/null
cmake --build build/release --target noru-cd-ripper -j "$(nproc)"
exec ./build/release/src/noru-cd-ripper "${images[@]}"
