#!/usr/bin/env bash
# scripts/install.sh for a user with a fresh home: the plug-in lands in ~/.vst
# and loads, the LV2 bundle in ~/.lv2 where lilv finds it, the tools in ~/.local/bin find it without --plugin, a file the
# user had there already is kept, and --uninstall removes exactly what was
# installed, folders it made included.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

fail() {
    echo "FAILED: $*" >&2
    exit 1
}
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/.vst" "$home/.local/bin" "$home/.lv2/other.lv2"
touch "$home/.lv2/other.lv2/manifest.ttl"
touch "$home/.vst/OtherPlugin.so" "$home/.local/bin/other-tool"

HOME="$home" XDG_DATA_HOME= scripts/install.sh >/dev/null
[[ -f "$home/.vst/KqDrifton.so" && ! -x "$home/.vst/KqDrifton.so" ]] || fail "no plug-in (mode 644) in ~/.vst"
manifest="$home/.local/share/kq-drifton/install-manifest"
[[ -f "$manifest" ]] || fail "no manifest"
mapfile -t listed <"$manifest"
for file in "${listed[@]}"; do
    [[ -e "$file" ]] || fail "manifest lists $file, which is missing"
    [[ "$file" == "$home/.vst/KqDrifton.so" || "$file" == "$home/.local/"* ||
        "$file" == "$home/.lv2/kq-drifton.lv2/"* ]] ||
        fail "installed outside ~/.vst, ~/.lv2/kq-drifton.lv2 and ~/.local: $file"
done
for file in manifest.ttl kq-drifton.ttl kq-drifton.so; do
    [[ -f "$home/.lv2/kq-drifton.lv2/$file" && ! -x "$home/.lv2/kq-drifton.lv2/$file" ]] ||
        fail "no $file (mode 644) in ~/.lv2/kq-drifton.lv2"
done
# lilv's default search path starts at ~/.lv2.
(unset LV2_PATH; HOME="$home" lv2info urn:kq-lum-vee:drifton 2>/dev/null) | grep -q "Symbol: *phase" ||
    fail "lv2info does not find the LV2 edition in ~/.lv2"
for tool in build/release/tools/*/drifton-*; do
    [[ -x "$tool" ]] || continue
    [[ -x "$home/.local/bin/$(basename "$tool")" ]] || fail "$(basename "$tool") not in ~/.local/bin"
done
if [[ -x "$home/.local/bin/drifton-render" ]]; then
    "$home/.local/bin/drifton-render" --info | grep -qx "Plug-in: *$home/.local/bin/../lib/vst/KqDrifton.so" ||
        fail "the installed drifton-render does not find the installed plug-in"
fi
DRIFTON_TEST_PLUGIN="$home/.vst/KqDrifton.so" build/release/tests/host_tests \
    --gtest_filter='PluginLifecycle.*' --gtest_brief=1 >/dev/null || fail "installed plug-in does not load"

# Installing again keeps one copy and one manifest entry per file.
HOME="$home" XDG_DATA_HOME= scripts/install.sh >/dev/null
[[ "$(sort -u "$manifest" | wc -l)" == "${#listed[@]}" && "$(wc -l <"$manifest")" == "${#listed[@]}" ]] ||
    fail "a second install changed the manifest"

HOME="$home" XDG_DATA_HOME= scripts/install.sh --uninstall >/dev/null
for file in "${listed[@]}" "$manifest"; do
    [[ ! -e "$file" ]] || fail "$file is still there after --uninstall"
done
[[ ! -e "$home/.lv2/kq-drifton.lv2" ]] || fail "--uninstall left ~/.lv2/kq-drifton.lv2"
[[ -e "$home/.vst/OtherPlugin.so" && -e "$home/.local/bin/other-tool" &&
    -e "$home/.lv2/other.lv2/manifest.ttl" ]] ||
    fail "--uninstall removed a file it had not installed"
if HOME="$home" XDG_DATA_HOME= scripts/install.sh --uninstall 2>/dev/null; then
    fail "a second --uninstall did not report that nothing is installed"
fi
[[ ! -e "$home/.local/lib" && ! -e "$home/.local/share" ]] || fail "--uninstall left folders it made"
echo "install script test passed: ${#listed[@]} files and folders installed and removed"
