#!/usr/bin/env bash
# Installs what is needed, builds every test three ways and runs them: the plain build,
# the build under AddressSanitizer and UndefinedBehaviorSanitizer, and the threaded kernels and
# the work spread over the worker pool under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
jobs=$(nproc)

bash scripts/build.sh build -DQV_TESTS=ON -DQV_BENCH=ON -DQV_SANITIZE=
(cd build && ctest --output-on-failure -j "$jobs")

bash scripts/build.sh build-asan -DQV_TESTS=ON -DQV_SANITIZE=address -DQV_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j "$jobs")

bash scripts/build.sh build-tsan -DQV_TESTS=ON -DQV_SANITIZE=thread -DQV_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j "$jobs" -L 'kernel|bitmapcheck|menus|mainthread|parallel')
