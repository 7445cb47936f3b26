#!/usr/bin/env bash
# Pack building on a real game's textures, side by side in one run: builds
# the source pack (bench/packbuild/make_source_pack.py) into a built pack
# with --jobs 2 --quality normal, rebuilds it with nothing changed, then runs
# a host's PackLoader session on both packs in turns.
# Usage: bench/packbuild/run.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
scripts/install-packages.sh colobot-common-textures colobot-common python3-pil
cmake --build "$build" --target mivo_packbuild mivo_pack_session >/dev/null
work=$build/bench-packbuild
rm -rf "$work"
mkdir -p "$work"
/usr/bin/python3 bench/packbuild/make_source_pack.py "$work/src"

seconds() { date +%s.%N; }
start=$(seconds)
"$build/tools/packbuild/mivo_packbuild" --jobs 2 --quality normal "$work/src" "$work/built" >"$work/build.txt" || true
built=$(seconds)
"$build/tools/packbuild/mivo_packbuild" --jobs 2 --quality normal "$work/src" "$work/built" >"$work/rebuild.txt" || true
rebuilt=$(seconds)
tail -2 "$work/build.txt"
mpixels=$(/usr/bin/python3 -c "
import re,sys
total=0
for line in open('$work/build.txt'):
    m=re.search(r' (\d+)x(\d+), ', line)
    if m and line.startswith(('BUILT','COPIED')): total+=int(m[1])*int(m[2])
print(total/1e6)")
awk -v a="$start" -v b="$built" -v c="$rebuilt" -v m="$mpixels" 'BEGIN {
  printf "build: %.2f s, %.2f Mpixels of base levels, %.2f Mpixels/s\n", b - a, m, m / (b - a);
  printf "rebuild with nothing changed: %.3f s\n", c - b }'
tail -1 "$work/rebuild.txt"
"$build/bench/mivo_pack_session" --rounds 5 "$work/src" "$work/built"
