#!/usr/bin/env bash
# Installs what is needed, then builds and runs every test three times: a plain build, an
# AddressSanitizer + UndefinedBehaviorSanitizer build, and a ThreadSanitizer build of every test
# that does not load Qt. Last, a clang build of the libFuzzer targets in fuzz/ runs each of them
# for 30 seconds. Any failure, crash, leak or sanitizer report fails the run.
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

# The fuzzers start from their seeds in fuzz/corpus/<target>/ and keep what they find in a
# scratch folder (their first corpus folder), so a run leaves the seeds as they are. Their own
# temporary files go to the scratch folder too. An input that fails is written to
# build/fuzz/artifacts/<target>/ and the fuzzer ends with a non-zero status.
echo "=== fuzz ==="
fuzzers=(parse_full_toc_fuzzer decode_lookup_response_fuzzer load_disc_image_fuzzer
  parse_ctdb_answer_fuzzer decode_cd_text_packs_fuzzer)
CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DNORU_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNORU_FUZZ=ON -DNORU_WITH_QT=OFF -DNORU_BENCHMARKS=OFF \
  -DNORU_TESTS=OFF
cmake --build build/fuzz -j "${jobs}" --target "${fuzzers[@]}"
scratch=$(mktemp -d)
trap 'rm -rf "${scratch}"' EXIT
for fuzzer in "${fuzzers[@]}"; do
  echo "--- ${fuzzer} ---"
  mkdir -p "${scratch}/${fuzzer}" "build/fuzz/artifacts/${fuzzer}"
  dictionary=()
  if [ -f "fuzz/${fuzzer}.dict" ]; then
    dictionary=("-dict=fuzz/${fuzzer}.dict")
  fi
  TMPDIR="${scratch}" ASAN_OPTIONS=detect_leaks=1 "build/fuzz/fuzz/${fuzzer}" \
    -max_total_time=30 -timeout=10 -print_funcs=0 "${dictionary[@]}" \
    "-artifact_prefix=build/fuzz/artifacts/${fuzzer}/" "${scratch}/${fuzzer}" "fuzz/corpus/${fuzzer}"
done
echo "All three configurations and the fuzzers passed."
