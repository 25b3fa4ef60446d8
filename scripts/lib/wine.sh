#!/usr/bin/env bash
# Runs a Windows program under Wine, headless and quiet, in the prefix named
# by WINEPREFIX (default: ~/.wine-drifton). `wine.sh --init` only creates the
# prefix. Sourced, it defines drifton_wine for other scripts.
#   wine.sh PROGRAM.exe [ARGUMENTS...]

# The 64-bit loader: `wine64` where the wine package put it on PATH, else where
# Debian's wine64 package keeps it.
drifton_wine_loader() {
    if command -v wine64 >/dev/null 2>&1; then
        command -v wine64
    elif [[ -x /usr/lib/wine/wine64 ]]; then
        echo /usr/lib/wine/wine64
    else
        echo "error: no Wine loader (install Debian's wine64 package)" >&2
        return 1
    fi
}

drifton_wine() {
    local loader
    loader="$(drifton_wine_loader)" || return 1
    # No display, no debug chatter, and no offer to install Mono or Gecko.
    env -u DISPLAY -u WAYLAND_DISPLAY \
        WINEPREFIX="${WINEPREFIX:-$HOME/.wine-drifton}" WINEDEBUG=-all \
        WINEDLLOVERRIDES="mscoree,mshtml=" \
        "$loader" "$@"
}

# Creates the prefix if it is missing and waits until Wine has finished with it.
drifton_wine_init() {
    local prefix="${WINEPREFIX:-$HOME/.wine-drifton}"
    if [[ -f "$prefix/system.reg" ]]; then
        return 0
    fi
    mkdir -p "$prefix"
    drifton_wine wineboot --init || return 1
    WINEPREFIX="$prefix" "$(dirname "$(drifton_wine_loader)")/wineserver" --wait
    [[ -f "$prefix/system.reg" ]] || { echo "error: Wine did not create the prefix $prefix" >&2; return 1; }
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -uo pipefail
    if [[ "${1:-}" == "--init" ]]; then
        drifton_wine_init
    else
        drifton_wine "$@"
    fi
fi
