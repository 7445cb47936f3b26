#!/usr/bin/env bash
# Sets up, then runs the dump tool on the bundled samples: images, the CSV
# report and a replacement-pack template (build/demo/pack-template/) go to
# build/demo/. Ends by checking that template with the pack checker (a
# template checked against itself passes).
set -euo pipefail
cd "$(dirname "$0")/.."
TARGETS="mivo_texdump mivo_packcheck" scripts/setup.sh build
rm -rf build/demo
build/tools/texdump/mivo_texdump --out build/demo --csv build/demo/report.csv \
  --pack-template build/demo/pack-template samples
echo
build/tools/packcheck/mivo_packcheck build/demo/pack-template build/demo/pack-template
