#!/usr/bin/env bash
# Checks the release archives that scripts/package.sh put into dist/: each
# holds exactly the plug-in, README.md and INSTALL.txt in a folder named like
# the archive, the Linux one the LV2 bundle kq-drifton.lv2/ too (the Windows
# one is the VST edition alone); the plug-in as shipped (stripped) exports exactly its two entry
# points and needs only the system's libraries; and it passes the host-level
# tests: the Linux x86-64 one natively, the aarch64 one under qemu-aarch64,
# the Windows one under Wine.
#   scripts/check-archives.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/wine.sh

fail() {
    echo "error: $*" >&2
    exit 1
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Unpacks `archive` into $work and checks its file list (the plug-in, the
# documents and any further files named); prints the plug-in's path.
unpack() {
    local archive="$1" plugin="$2" name extra=("${@:3}")
    [[ -f "$archive" ]] || fail "no $archive: run scripts/package.sh first"
    name="$(basename "$archive")"
    name="${name%.tar.gz}"
    name="${name%.zip}"
    (cd "$work" && cmake -E tar xf "$OLDPWD/$archive")
    diff <(printf '%s\n' "$name/INSTALL.txt" "$name/$plugin" "$name/README.md" \
        "${extra[@]/#/$name/}" | sort) \
        <(cd "$work" && find "$name" -type f | sort) >&2 || fail "$archive holds other files than expected"
    echo "$work/$name/$plugin"
}

echo "== $(ls dist/KqDrifton-*-linux-x86_64.tar.gz)"
so="$(unpack dist/KqDrifton-*-linux-x86_64.tar.gz KqDrifton.so \
    kq-drifton.lv2/kq-drifton.so kq-drifton.lv2/kq-drifton.ttl kq-drifton.lv2/manifest.ttl)"
cmake -DOBJDUMP=objdump -DFILE="$so" -P cmake/CheckPluginBinary.cmake
cmake --build --preset release --target host_tests >/dev/null
DRIFTON_TEST_PLUGIN="$so" build/release/tests/host_tests --gtest_brief=1
# The LV2 edition as shipped: its one export, validated, listed and rendering.
bundle="$(dirname "$so")/kq-drifton.lv2"
cmake -DOBJDUMP=objdump -DFILE="$bundle/kq-drifton.so" -DEXPORTS=lv2_descriptor \
    -P cmake/CheckPluginBinary.cmake
bash tests/lv2/lv2_tools_test.sh "$bundle" "$work/lv2-tools"

echo "== $(ls dist/KqDrifton-*-linux-aarch64.tar.gz)"
arm_so="$(unpack dist/KqDrifton-*-linux-aarch64.tar.gz KqDrifton.so \
    kq-drifton.lv2/kq-drifton.so kq-drifton.lv2/kq-drifton.ttl kq-drifton.lv2/manifest.ttl)"
cmake -DOBJDUMP=aarch64-linux-gnu-objdump -DFILE="$arm_so" -P cmake/CheckPluginBinary.cmake
cmake -DOBJDUMP=aarch64-linux-gnu-objdump -DFILE="$(dirname "$arm_so")/kq-drifton.lv2/kq-drifton.so" \
    -DEXPORTS=lv2_descriptor -P cmake/CheckPluginBinary.cmake
# The Turtle is the same for every architecture.
diff -r "$(dirname "$so")/kq-drifton.lv2" "$(dirname "$arm_so")/kq-drifton.lv2" -x kq-drifton.so >&2 ||
    fail "the aarch64 bundle's Turtle differs from the x86-64 one"
cmake --build --preset linux-aarch64 --target host_tests >/dev/null
DRIFTON_TEST_PLUGIN="$arm_so" scripts/lib/qemu-gtest.sh "$PWD/build/linux-aarch64/tests/host_tests" \
    "$work/aarch64_host_tests.xml" --gtest_brief=1

echo "== $(ls dist/KqDrifton-*-windows-x64.zip)"
dll="$(unpack dist/KqDrifton-*-windows-x64.zip KqDrifton.dll)"
cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DFILE="$dll" -P cmake/CheckPluginBinary.cmake
# Wine's drive Z: is the root folder.
cmake --build --preset windows-release --target host_tests >/dev/null
WINEPREFIX="$PWD/build/windows-release/wineprefix" DRIFTON_TEST_PLUGIN="Z:$dll" \
    scripts/lib/wine-gtest.sh "$PWD/build/windows-release/bin/host_tests.exe" "$work/host_tests.xml"
echo "archive check passed"
