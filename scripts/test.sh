#!/usr/bin/env bash
# Sets up, then runs the whole test suite in three builds: a normal build
# (GCC), AddressSanitizer + UndefinedBehaviorSanitizer (Clang), and
# ThreadSanitizer (Clang) for the threaded code, with a check that the code is
# formatted, then a short run of each
# fuzz target, then the Windows cross build and its tests under Wine. Ends
# with one line that totals the three Linux test runs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

run_ctest() {
  ctest --test-dir "$@" --output-on-failure -j "$jobs" 2>&1 | tee -a "$log"
  return "${PIPESTATUS[0]}"
}

# Warnings are errors here (MIVO_WERROR), in mivo's own code only.
scripts/setup.sh build -DMIVO_WERROR=ON
# Every C++ file as .clang-format writes it (setup.sh installed clang-format).
scripts/check-format.sh
run_ctest build

CC=clang CXX=clang++ scripts/setup.sh build-asan -DMIVO_SANITIZE=address,undefined -DMIVO_BUILD_BENCH=OFF \
  -DMIVO_WERROR=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest build-asan

# Everything is built: the labelled tests run programs as well as the test binary.
CC=clang CXX=clang++ scripts/setup.sh build-tsan -DMIVO_SANITIZE=thread -DMIVO_BUILD_BENCH=OFF -DMIVO_WERROR=ON
# The tests of threaded code carry the ctest label "threads".
TSAN_OPTIONS=halt_on_error=1 run_ctest build-tsan -L threads

# Each fuzz target for a short while, so a regression in a reader surfaces
# here; scripts/fuzz.sh runs them longer.
scripts/fuzz.sh --seconds 15

# The Windows programs, cross-built and run under Wine against the Linux ones.
scripts/build-windows.sh -DMIVO_WERROR=ON
scripts/test-windows.sh

# ctest prints "N% tests passed, F tests failed out of T" per run.
awk '/tests passed, [0-9]+ tests? failed out of/ { f += $4; t += $NF }
     END { printf "all builds: %d passed, %d failed\n", t - f, f }' "$log"
