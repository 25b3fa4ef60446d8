#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh made: it holds exactly
# what `cmake --install` installs, with the dependencies dpkg-shlibdeps found;
# it installs with dpkg; the installed plug-in passes the host-level tests,
# loaded through our host library; the installed tools tell the package's
# version and find the plug-in; and purging the package leaves none of its
# files behind. Installs into this machine, so it runs as root, and only
# where kq-drifton is not installed already.
#   scripts/check-package.sh [dist/kq-drifton_<version>_amd64.deb]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

fail() {
    echo "error: $*" >&2
    exit 1
}
deb="${1:-$(ls dist/kq-drifton_*_amd64.deb 2>/dev/null | head -n1)}"
[[ -f "$deb" ]] || fail "no package ${deb:-in dist/}: run scripts/package.sh first"
[[ $(id -u) -eq 0 ]] || fail "$0 installs $deb into this machine: run it as root"
if dpkg-query -W -f='${Status}' kq-drifton 2>/dev/null | grep -q "install ok installed"; then
    fail "kq-drifton is installed already; not touching it"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

echo "== file list of $deb"
# Files only, without the leading dot dpkg-deb prints.
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort >"$work/package"
cmake --install build/release --prefix "$work/tree/usr" >/dev/null
(cd "$work/tree" && find . -type f | sed 's|^\./|/|' | sort) >"$work/installed"
diff -u "$work/installed" "$work/package" || fail "the package differs from the install tree (- install, + package)"
for file in /usr/lib/vst/KqDrifton.so /usr/lib/lv2/kq-drifton.lv2/kq-drifton.so \
    /usr/lib/lv2/kq-drifton.lv2/manifest.ttl /usr/lib/lv2/kq-drifton.lv2/kq-drifton.ttl \
    /usr/share/doc/kq-drifton/copyright /usr/share/doc/kq-drifton/changelog.gz; do
    grep -qx "$file" "$work/package" || fail "$file is not in the package"
done
depends="$(dpkg-deb -f "$deb" Depends)"
[[ "$depends" == *libc6* && "$depends" == *libstdc++6* ]] || fail "Depends lacks libc6 or libstdc++6: $depends"
cat "$work/package"
echo "Depends: $depends"

echo "== dpkg -i"
dpkg -i "$deb"
removed=0
remove() {
    ((removed)) && return 0
    removed=1
    dpkg --purge kq-drifton
}
trap 'remove; rm -rf "$work"' EXIT

echo "== the installed plug-in through the host library"
cmake --build --preset release --target host_tests >/dev/null
DRIFTON_TEST_PLUGIN=/usr/lib/vst/KqDrifton.so build/release/tests/host_tests \
    --gtest_brief=1 | tee "$work/host_tests.log"
grep -q '^\[  PASSED  \] [1-9]' "$work/host_tests.log" || fail "host-level tests did not pass on the installed plug-in"

echo "== the installed LV2 bundle: found on the default search path, validated, rendering"
lv2ls | grep -qx "urn:kq-lum-vee:drifton" || fail "lv2ls does not find the installed LV2 edition"
bash tests/lv2/lv2_tools_test.sh /usr/lib/lv2/kq-drifton.lv2 "$work/lv2-tools"

echo "== the installed tools"
version="$(dpkg-deb -f "$deb" Version)"
for tool in $(grep '^/usr/bin/' "$work/package"); do
    name="$(basename "$tool")"
    [[ "$("$tool" --version)" == "$name $version" ]] || fail "$tool --version does not say $name $version"
    echo "$("$tool" --version)"
done
if [[ -x /usr/bin/drifton-render ]]; then
    # Without --plugin it finds the plug-in beside it, in ../lib/vst.
    drifton-render --info | tee "$work/info.log"
    grep -Eq '^Plug-in: +/usr/(bin/\.\./)?lib/vst/KqDrifton\.so$' "$work/info.log" ||
        fail "drifton-render did not find the installed plug-in"
    grep -q "^Effect: *K'q Drifton$" "$work/info.log" || fail "drifton-render --info does not name the effect"
fi

echo "== dpkg --purge"
remove
while read -r file; do
    [[ ! -e "$file" ]] || fail "$file is still there after removal"
done <"$work/package"
echo "package check passed: $(basename "$deb")"
