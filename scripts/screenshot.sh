#!/usr/bin/env bash
# Renders the window with the sample disc image and its release (services stood in for on
# 127.0.0.1) into docs/window.png, the picture in the README.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DNORU_BENCHMARKS=OFF >/dev/null
cmake --build build/release --target noru-window-screenshot -j "$(nproc)"
sample=$(mktemp -d)
trap 'rm -rf "$sample"' EXIT
python3 scripts/write-sample-disc.py "$sample" >/dev/null
mkdir -p docs
QT_QPA_PLATFORM=offscreen ./build/release/tools/noru-window-screenshot "$sample/Sample.cue" docs/window.png
echo "docs/window.png"
