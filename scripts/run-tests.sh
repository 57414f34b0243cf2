#!/usr/bin/env bash
# Installs what is needed, builds Molvane and its tests twice (a normal build
# in build/ and an AddressSanitizer + UndefinedBehaviorSanitizer build in
# build-asan/) and runs every test in both, and builds and checks the Debian
# package from build/. build/ is configured exactly as
# scripts/run-sample.sh configures it, so running one after the other
# rebuilds nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

# The Debian package, from the same build: lintian, the installed tree, the
# first start (and, in CI, installing and purging it on the machine).
bash scripts/check-package.sh

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DMOLVANE_SANITIZE=ON
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

# Every fuzz target for a short, fixed time.
bash scripts/run-fuzz.sh

# The libraries without widgets, built for Windows and checked under Wine.
bash scripts/check-windows-build.sh
