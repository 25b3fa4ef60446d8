#!/usr/bin/env bash
# Builds K'q Drifton and runs every test, on a fresh Debian 12 machine too:
# installs what is missing (as root, or through sudo), configures, builds and
# runs the test suites of one preset (dev unless named: dev, release, asan, tsan,
# windows-release, linux-aarch64).
set -euo pipefail

preset="${1:-dev}"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh

ensure_packages "${build_packages[@]}"
if [[ "$preset" == windows-* ]]; then
    ensure_packages "${windows_packages[@]}"
elif [[ "$preset" == linux-aarch64 ]]; then
    ensure_packages "${aarch64_packages[@]}"
fi

jobs="$(nproc 2>/dev/null || echo 2)"
export CMAKE_BUILD_PARALLEL_LEVEL="$jobs"
export CTEST_PARALLEL_LEVEL="$jobs"

cmake --workflow --preset "$preset"
