#!/usr/bin/env bash
# Installs the Debian packages the build and tests need (only those missing),
# then configures and builds. Usage: scripts/setup.sh [BUILD_DIR [CMAKE_ARGS...]]
# With TARGETS set (space-separated), builds only those targets.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
          libxxhash-dev libspng-dev zlib1g-dev libgtest-dev libbenchmark-dev
          libsquish-dev python3 python3-pil pngcheck imagemagick libnvtt-bin openimageio-tools
          chromium chromium-driver python3-selenium clang-format
          colobot-common-textures colobot-common)
scripts/install-packages.sh "${packages[@]}"

build_dir=${1:-build}
shift || true
cmake -S . -B "$build_dir" -G Ninja "$@" >/dev/null
# shellcheck disable=SC2086 # TARGETS is a list
cmake --build "$build_dir" -j "$(nproc)" ${TARGETS:+--target $TARGETS}
