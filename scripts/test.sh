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

bash scripts/build.sh build-fuzz -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DQV_FUZZ=ON \
    -DQV_TESTS=OFF -DQV_BENCH=OFF -DQV_SANITIZE=
replayed=0
for corpus in fuzz/corpus/*/; do
    target=$(basename "$corpus")
    folders=("$corpus")
    [[ -d fuzz/regressions/$target ]] && folders+=("fuzz/regressions/$target")  # git keeps no empty folder
    mapfile -t inputs < <(find "${folders[@]}" -type f | sort)
    echo "fuzz_$target: ${#inputs[@]} inputs"
    # Given files, libFuzzer runs each once and stops: no mutation, no clock.
    UBSAN_OPTIONS=print_stacktrace=1 "build-fuzz/fuzz/fuzz_$target" -close_fd_mask=1 "${inputs[@]}"
    replayed=$((replayed + ${#inputs[@]}))
done
# A failing input stops the script above, so every input counted here passed.
echo "fuzz-replay: $replayed passed, 0 failed"
