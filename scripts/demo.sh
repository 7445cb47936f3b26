#!/usr/bin/env bash
# Sets up, then runs the dump tool on the bundled samples; images, the CSV
# report and a replacement-pack template (build/demo/pack-template/) go to
# build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/tools/texdump/mivo_texdump --out build/demo --csv build/demo/report.csv \
  --pack-template build/demo/pack-template samples
