#!/usr/bin/env bash
# Installs what is needed, builds the application and runs its main job.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
bash scripts/build.sh build -DQV_TESTS=OFF
exec build/Quirevale.app/Contents/MacOS/quirevale "$@" </dev/null
