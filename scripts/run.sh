#!/usr/bin/env bash
# Installs what is needed, builds the application and runs its main job: the regression runner
# over the sample units of examples/units (extra arguments go to the runner).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh build -DQV_TESTS=OFF
cd examples/units
exec "$root/build/Quirevale.app/Contents/MacOS/quirevale" regression "$@" </dev/null
