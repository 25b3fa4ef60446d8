#!/usr/bin/env bash
# Builds the release preset and installs K'q Drifton for the current user: the
# plug-in into ~/.vst/ and the command-line tools into ~/.local/bin/. A manifest
# records every file installed, and `--uninstall` removes exactly those.
set -euo pipefail

usage() {
    cat <<USAGE
Usage: scripts/install.sh [--uninstall]

Builds K'q Drifton (release preset) and installs it for you alone:
  plug-in  ${vst_dir}/KqDrifton.so
  tools    ${bin_dir}/
  --uninstall   remove exactly the files an earlier install put there
  -h, --help    show this help

Most Linux hosts scan ~/.vst. For one that does not, add the folder to the
VST_PATH or LXVST_PATH environment variable it reads, for example
  export VST_PATH="\$HOME/.vst:/usr/local/lib/vst:/usr/lib/vst"
The folders can be changed with DRIFTON_VST_DIR and DRIFTON_BIN_DIR.
USAGE
}

vst_dir="${DRIFTON_VST_DIR:-$HOME/.vst}"
bin_dir="${DRIFTON_BIN_DIR:-$HOME/.local/bin}"
manifest="${XDG_DATA_HOME:-$HOME/.local/share}/kq-drifton/install-manifest"

uninstall() {
    if [[ ! -f "$manifest" ]]; then
        echo "error: nothing to uninstall: no manifest at $manifest" >&2
        return 1
    fi
    local file
    while IFS= read -r file; do
        if [[ -e "$file" || -L "$file" ]]; then
            rm -f -- "$file"
            echo "removed $file"
        fi
    done <"$manifest"
    rm -f -- "$manifest"
    rmdir --ignore-fail-on-non-empty -- "$(dirname "$manifest")"
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
mkdir -p "$vst_dir" "$bin_dir" "$(dirname "$manifest")"
installed=()
for plugin in "$stage"/lib/vst/*; do
    install -m 0644 "$plugin" "$vst_dir/"
    installed+=("$vst_dir/$(basename "$plugin")")
done
for tool in "$stage"/bin/*; do
    [[ -e "$tool" ]] || continue
    install -m 0755 "$tool" "$bin_dir/"
    installed+=("$bin_dir/$(basename "$tool")")
done
printf '%s\n' "${installed[@]}" >"$manifest.new"
mv -- "$manifest.new" "$manifest"

printf 'installed %s\n' "${installed[@]}"
echo "Rescan plug-ins in your host. If it does not scan $vst_dir, add that folder to"
echo "VST_PATH or LXVST_PATH. To remove: scripts/install.sh --uninstall"
case ":$PATH:" in
*":$bin_dir:"*) ;;
*) echo "note: $bin_dir is not on your PATH" ;;
esac
