#!/usr/bin/env bash
# The block encoders on a real game's textures (the PNG files of Debian's
# colobot-common-textures and colobot-common, installed here when missing)
# beside libsquish, in one run: speed on one thread and PSNR per format and
# setting, then a whole-corpus encode on the library's threads.
# Usage: bench/encode_corpus.sh [--formats BC1,BC3,BC4,BC5,BC4_SNORM,BC5_SNORM,BC7,BC7_ALPHA]
#                               [--qualities fast,normal,slow] [--threads N] [--no-squish]
# The formats are the rows of bench/encode_corpus/encode_corpus.cpp; a new
# encoder adds its row there. Builds in build-bench/ (Release flags as the
# library ships: no -march, no fast math).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-packages.sh cmake ninja-build g++ pkg-config libxxhash-dev libspng-dev zlib1g-dev \
  colobot-common-textures colobot-common libsquish-dev
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIVO_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target mivo_encode_bench >/dev/null
# Debian's libsquish compresses an image on every core through OpenMP; one
# thread, as the rows say, unless the caller asks for more.
export OMP_NUM_THREADS="${OMP_NUM_THREADS:-1}"
mapfile -t corpus < <(find /usr/share/games/colobot -name '*.png' | LC_ALL=C sort)
[ ${#corpus[@]} -gt 0 ] || { echo "no PNG files under /usr/share/games/colobot"; exit 1; }
build-bench/bench/mivo_encode_bench "$@" "${corpus[@]}"
