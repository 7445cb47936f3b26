#!/usr/bin/env bash
# Sets up, then runs the dump tool on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
build/tools/texdump/mivo_texdump samples || true
