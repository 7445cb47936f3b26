#!/usr/bin/env bash
# Sets up, then runs the dump tool on the bundled samples; images and the CSV
# report go to build/demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
exec build/tools/texdump/mivo_texdump --out build/demo --csv build/demo/report.csv samples
