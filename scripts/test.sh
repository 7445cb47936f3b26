#!/usr/bin/env bash
# Sets up, then runs the whole test suite in three builds: a normal build
# (GCC), AddressSanitizer + UndefinedBehaviorSanitizer (Clang), and
# ThreadSanitizer (Clang) for the threaded code.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

scripts/setup.sh build
ctest --test-dir build --output-on-failure -j "$jobs"

CC=clang CXX=clang++ scripts/setup.sh build-asan -DMIVO_SANITIZE=address,undefined -DMIVO_BUILD_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

CC=clang CXX=clang++ scripts/setup.sh build-tsan -DMIVO_SANITIZE=thread -DMIVO_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -R 'Thread|Pool|Loader|Concurren'
