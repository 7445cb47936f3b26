#!/usr/bin/env bash
# Builds the libFuzzer targets (Clang, ASan + UBSan) in build-fuzz/ and runs
# each one in turn, one process at a time.
# Usage: scripts/fuzz.sh [--seconds S | --runs N | --merge] [TARGET...]
#   --seconds S  run each target for S seconds (default 60)
#   --runs N     run each target for N executions instead
#   --merge      run nothing: minimise the committed corpus fuzz/corpus/NAME
#                together with build-fuzz/corpus/TARGET into fuzz/corpus/NAME
#   TARGET       fuzz_dump, fuzz_manifest, fuzz_replacement_dds,
#                fuzz_replacement_png, fuzz_pack_loader, fuzz_build_state,
#                fuzz_block_encode, fuzz_bc7_decode, fuzz_bc7_encode (default: all)
# New inputs go to build-fuzz/corpus/TARGET (the committed seeds in
# fuzz/corpus/ are only read), a target uses its dictionary fuzz/NAME.dict if any,
# findings go to build-fuzz/findings/. The last line per target gives the
# runs, speed, coverage and features from libFuzzer's final stats. Exits 1
# when any target reports a crash, leak, timeout or memory blow-up.
set -euo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=60)
merge=0
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --runs) limit=(-runs="$2"); shift 2 ;;
    --merge) merge=1; shift ;;
    *) targets+=("$1"); shift ;;
  esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_dump fuzz_manifest fuzz_replacement_dds fuzz_replacement_png
                                  fuzz_pack_loader fuzz_build_state fuzz_block_encode fuzz_bc7_decode
                                  fuzz_bc7_encode)

CC=clang CXX=clang++ scripts/setup.sh build-fuzz -DMIVO_FUZZ=ON -DMIVO_BUILD_TESTS=OFF -DMIVO_BUILD_BENCH=OFF
mkdir -p build-fuzz/findings

status=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  seeds=fuzz/corpus/$name
  work=build-fuzz/corpus/$target
  mkdir -p "$work"
  # A byte is a whole call for the loader, and a block holds at most 64
  # bytes of texels: long inputs only wait longer.
  max_len=16384
  [ "$target" != fuzz_pack_loader ] || max_len=512
  [ "$target" != fuzz_block_encode ] || max_len=65
  dict=()
  [ ! -f fuzz/"$name".dict ] || dict=(-dict=fuzz/"$name".dict)
  if [ $merge = 1 ]; then
    merged=$(mktemp -d)
    build-fuzz/fuzz/"$target" -merge=1 -max_len=$max_len "$merged" "$seeds" "$work" > build-fuzz/"$target"-merge.log 2>&1
    rm -rf "$seeds" && mv "$merged" "$seeds" && chmod 755 "$seeds"
    echo "$target: $(ls "$seeds" | wc -l) files, $(du -sb "$seeds" | cut -f1) bytes in $seeds"
    continue
  fi
  # Allocations beyond a few hundred MiB from inputs of at most 16 KiB are
  # findings, not legitimate work.
  result=ok
  if ! build-fuzz/fuzz/"$target" "$work" "$seeds" "${limit[@]}" -max_len=$max_len -timeout=10 \
      "${dict[@]}" \
      -rss_limit_mb=2048 -malloc_limit_mb=256 -print_final_stats=1 \
      -artifact_prefix=build-fuzz/findings/"$target"- > build-fuzz/"$target".log 2>&1; then
    status=1
    result="FINDING (see build-fuzz/$target.log)"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' build-fuzz/"$target".log)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' build-fuzz/"$target".log)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' build-fuzz/"$target".log | tail -1 || true)
  echo "$target: ${runs:-?} runs, ${speed:-?} exec/s, ${cov:-cov: ?}, $result"
done
exit $status
