#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test three times: a plain build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of every test
# that does not load Qt. Any failure or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
# Tests only talk to servers they start on 127.0.0.1; a proxy from the environment must not
# stand in between.
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

run_configuration() {
  local name=$1
  shift
  echo "=== ${name} ==="
  cmake -S . -B "build/${name}" -G Ninja -DNORU_WERROR=ON "$@"
  cmake --build "build/${name}" -j "${jobs}"
  (cd "build/${name}" && ctest --output-on-failure -j "${jobs}")
}

run_configuration plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_configuration asan -DCMAKE_BUILD_TYPE=Debug -DNORU_SANITIZE=address -DNORU_BENCHMARKS=OFF
run_configuration tsan -DCMAKE_BUILD_TYPE=Debug -DNORU_SANITIZE=thread -DNORU_BENCHMARKS=OFF \
  -DNORU_WITH_QT=OFF
echo "All three configurations passed."
