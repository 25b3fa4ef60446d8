#!/usr/bin/env bash
# Builds the release artefacts into dist/: the Debian packages (amd64 and,
# cross-built, arm64), the Linux archives (x86-64 and aarch64) and the Windows
# archive, all named with the version set in
# CMakeLists.txt. Installs what is missing first (as root, or through sudo).
#   scripts/package.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh
ensure_packages "${build_packages[@]}" "${package_packages[@]}"

export CMAKE_BUILD_PARALLEL_LEVEL="$(nproc 2>/dev/null || echo 2)"

echo "== Linux: plug-in, tools, Debian package, archive"
cmake --preset release >/dev/null
cmake --build --preset release --target drifton_shipped archive
cmake -DOBJDUMP=objdump -DFILE=build/release/plugin/KqDrifton.so -P cmake/CheckPluginBinary.cmake
rm -rf build/release/packages
(cd build/release && cpack -G DEB >/dev/null)
deb=(build/release/packages/kq-drifton_*.deb)
# Errors fail the build; warnings are printed. (lintian dislikes running as root.)
lintian_options=(--fail-on error)
[[ $(id -u) -eq 0 ]] && lintian_options+=(--allow-root)
lintian "${lintian_options[@]}" "${deb[@]}"

echo "== Windows: plug-in DLL, archive"
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release --target archive
cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DFILE=build/windows-release/bin/KqDrifton.dll \
    -P cmake/CheckPluginBinary.cmake

echo "== Linux aarch64: plug-in, validator, Debian package, archive"
cmake --preset linux-aarch64 >/dev/null
cmake --build --preset linux-aarch64 --target drifton_shipped archive
cmake -DOBJDUMP=aarch64-linux-gnu-objdump -DFILE=build/linux-aarch64/plugin/KqDrifton.so \
    -P cmake/CheckPluginBinary.cmake
rm -rf build/linux-aarch64/packages
(cd build/linux-aarch64 && cpack -G DEB >/dev/null)
arm_deb=(build/linux-aarch64/packages/kq-drifton_*_arm64.deb)
# The cross package states its Depends itself: each must cover the newest
# versioned symbol of its library that the shipped binaries need.
scripts/lib/check-cross-depends.sh "${arm_deb[@]}" aarch64-linux-gnu-objdump
lintian "${lintian_options[@]}" "${arm_deb[@]}"

rm -rf dist
mkdir -p dist
cp "${deb[@]}" "${arm_deb[@]}" build/release/archive/KqDrifton-*-linux-x86_64.tar.gz \
    build/linux-aarch64/archive/KqDrifton-*-linux-aarch64.tar.gz \
    build/windows-release/archive/KqDrifton-*-windows-x64.zip dist/
echo "== dist/"
ls -l dist
