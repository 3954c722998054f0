#!/usr/bin/env bash
# Installs what is missing, builds Tarvex and runs the whole test suite: the
# unit and end-to-end tests in a normal build and again under AddressSanitizer
# and UndefinedBehaviorSanitizer, then each fuzz target for a few seconds.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs ctest, keeping its summary for the closing line.
run_ctest() { ctest "$@" 2>&1 | tee -a "$log"; }

# One end-to-end test sorts a slice of the real corpus; without a network it
# is skipped.
if data=$(scripts/fetch-corpus.sh); then export TARVEX_CORPUS=$data; fi

echo "== tests"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build
run_ctest --test-dir build --output-on-failure -j "$jobs"

echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVEX_SANITIZE=ON \
  -DTARVEX_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest --test-dir build-asan --output-on-failure -j "$jobs" -E clang_format

echo "== fuzzing"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTARVEX_FUZZ=ON -DTARVEX_TESTS=OFF \
  -DTARVEX_BENCH=OFF >/dev/null
cmake --build build-fuzz --target database_reader_fuzz tokenizer_fuzz message_reading_fuzz \
  settings_file_fuzz sender_lists_fuzz command_frame_fuzz operation_request_fuzz
fuzz/run.sh build-fuzz "${TARVEX_FUZZ_SECONDS:-10}"

passed=$(awk '/tests passed, .* tests failed out of/ {p += $(NF) - $4} END {print p}' "$log")
echo "tests: $passed passed, 0 failed"
