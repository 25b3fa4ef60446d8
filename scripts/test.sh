#!/usr/bin/env bash
# Builds K'q Drifton and runs every test, on a fresh Debian 12 machine too:
# installs what is missing (as root, or through sudo), configures, builds and
# runs the test suites of one preset (dev unless named: dev, release, asan, tsan).
set -euo pipefail

preset="${1:-dev}"
cd "$(dirname "${BASH_SOURCE[0]}")/.."

required_packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev)

missing=()
for package in "${required_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing missing packages: ${missing[*]}"
    if [[ $(id -u) -eq 0 ]]; then
        apt_get=(apt-get)
    elif command -v sudo >/dev/null 2>&1; then
        apt_get=(sudo apt-get)
    else
        echo "error: missing packages ${missing[*]} and no way to install them (not root, no sudo)" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${apt_get[@]}" update -q
    "${apt_get[@]}" install -y -q --no-install-recommends "${missing[@]}"
fi

jobs="$(nproc 2>/dev/null || echo 2)"
export CMAKE_BUILD_PARALLEL_LEVEL="$jobs"
export CTEST_PARALLEL_LEVEL="$jobs"

cmake --workflow --preset "$preset"
