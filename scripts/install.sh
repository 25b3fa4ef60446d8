#!/usr/bin/env bash
# Builds the release preset and installs K'q Drifton for the current user: the
# plug-in into ~/.vst/, the LV2 edition into ~/.lv2/kq-drifton.lv2/ and the
# command-line tools into ~/.local/bin/. A manifest
# records every file and folder it made, and `--uninstall` removes exactly those.
set -euo pipefail

usage() {
    cat <<USAGE
Usage: scripts/install.sh [--uninstall]

Builds K'q Drifton (release preset) and installs it for you alone:
  plug-in  ${vst_dir}/KqDrifton.so
  LV2      ${lv2_dir}/kq-drifton.lv2/
  tools    ${bin_dir}/
  --uninstall   remove exactly the files an earlier install put there
  -h, --help    show this help

Most Linux hosts scan ~/.vst. For one that does not, add the folder to the
VST_PATH or LXVST_PATH environment variable it reads, for example
  export VST_PATH="\$HOME/.vst:/usr/local/lib/vst:/usr/lib/vst"
LV2 hosts look in ~/.lv2 (or in the folders LV2_PATH names, when it is set).
The folders can be changed with DRIFTON_VST_DIR, DRIFTON_LV2_DIR and DRIFTON_BIN_DIR.
USAGE
}

vst_dir="${DRIFTON_VST_DIR:-$HOME/.vst}"
lv2_dir="${DRIFTON_LV2_DIR:-$HOME/.lv2}"
bin_dir="${DRIFTON_BIN_DIR:-$HOME/.local/bin}"
manifest="${XDG_DATA_HOME:-$HOME/.local/share}/kq-drifton/install-manifest"

uninstall() {
    if [[ ! -f "$manifest" ]]; then
        echo "error: nothing to uninstall: no manifest at $manifest" >&2
        return 1
    fi
    # Files first, then the folders the install created, deepest last-made first.
    local entry folders=()
    while IFS= read -r entry; do
        if [[ "$entry" == */ ]]; then
            folders=("$entry" "${folders[@]}")
        elif [[ -e "$entry" || -L "$entry" ]]; then
            rm -f -- "$entry"
            echo "removed $entry"
        fi
    done <"$manifest"
    rm -f -- "$manifest"
    rmdir --ignore-fail-on-non-empty -- "$(dirname "$manifest")"
    for entry in "${folders[@]}"; do
        [[ -d "$entry" ]] && rmdir --ignore-fail-on-non-empty -- "$entry"
    done
    return 0
}

case "${1:-}" in
-h | --help)
    usage
    exit 0
    ;;
--uninstall)
    uninstall
    exit
    ;;
"") ;;
*)
    echo "error: unknown option '$1' (see --help)" >&2
    exit 2
    ;;
esac

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh
ensure_packages "${build_packages[@]}"
export CMAKE_BUILD_PARALLEL_LEVEL="$(nproc 2>/dev/null || echo 2)"
cmake --preset release >/dev/null
cmake --build --preset release --target drifton_shipped

# Stage what `cmake --install` ships, then copy it into the user's folders.
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
cmake --install build/release --prefix "$stage" --component plugin >/dev/null
cmake --install build/release --prefix "$stage" --component tools >/dev/null

# A new install replaces the files of the last one.
if [[ -f "$manifest" ]]; then
    uninstall >/dev/null
fi
# The tools look for the plug-in in ../lib/vst beside themselves: a link there
# to the installed plug-in lets them find it without --plugin.
tool_plugin_dir="$(dirname "$bin_dir")/lib/vst"
installed=()
# Folders this install makes, recorded (with a trailing slash) so that
# --uninstall removes them again when they are empty.
make_folder() {
    local folder="$1" missing=()
    while [[ ! -d "$folder" ]]; do
        missing=("$folder" "${missing[@]}")
        folder="$(dirname "$folder")"
    done
    for folder in "${missing[@]}"; do
        mkdir -- "$folder"
        installed+=("$folder/")
    done
}
make_folder "$vst_dir"
make_folder "$bin_dir"
make_folder "$(dirname "$manifest")"
for plugin in "$stage"/lib/vst/*; do
    install -m 0644 "$plugin" "$vst_dir/"
    installed+=("$vst_dir/$(basename "$plugin")")
done
if [[ -d "$stage/lib/lv2/kq-drifton.lv2" ]]; then
    make_folder "$lv2_dir/kq-drifton.lv2"
    for file in "$stage"/lib/lv2/kq-drifton.lv2/*; do
        install -m 0644 "$file" "$lv2_dir/kq-drifton.lv2/"
        installed+=("$lv2_dir/kq-drifton.lv2/$(basename "$file")")
    done
fi
tools=0
for tool in "$stage"/bin/*; do
    [[ -e "$tool" ]] || continue
    install -m 0755 "$tool" "$bin_dir/"
    installed+=("$bin_dir/$(basename "$tool")")
    tools=1
done
if ((tools)) && [[ "$(realpath -m "$tool_plugin_dir")" != "$(realpath -m "$vst_dir")" ]]; then
    make_folder "$tool_plugin_dir"
    for plugin in "$stage"/lib/vst/*; do
        ln -sfn -- "$vst_dir/$(basename "$plugin")" "$tool_plugin_dir/$(basename "$plugin")"
        installed+=("$tool_plugin_dir/$(basename "$plugin")")
    done
fi
printf '%s\n' "${installed[@]}" >"$manifest.new"
mv -- "$manifest.new" "$manifest"

printf 'installed %s\n' "${installed[@]}" | grep -v '/$'
echo "Rescan plug-ins in your host. If it does not scan $vst_dir, add that folder to"
echo "VST_PATH or LXVST_PATH; LV2 hosts find $lv2_dir unless LV2_PATH leaves it out."
echo "To remove: scripts/install.sh --uninstall"
case ":$PATH:" in
*":$bin_dir:"*) ;;
*) echo "note: $bin_dir is not on your PATH" ;;
esac
