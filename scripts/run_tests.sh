#!/usr/bin/env bash
# Sets up, builds, and runs every test: the C++ unit tests (plain, then under
# AddressSanitizer + UndefinedBehaviorSanitizer) and the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

jobs=$(nproc)
for variant in release asan; do
  sanitize=OFF
  [ "$variant" = asan ] && sanitize=ON
  cmake -S . -B "build/tests-$variant" -G Ninja -DPP_BUILD_MODULE=OFF -DPP_BUILD_TESTS=ON \
        -DPP_SANITIZE=$sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "build/tests-$variant" -j "$jobs"
  (cd "build/tests-$variant" && ctest --output-on-failure)
done

python3 -m pytest -q tests/python
