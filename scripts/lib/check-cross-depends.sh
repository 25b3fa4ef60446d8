#!/usr/bin/env bash
# Checks the Depends of a cross-built Debian package against its binaries:
# for libc6, libstdc++6 and libgcc-s1, the stated minimum version must be at
# least the release that brought the newest versioned symbol (GLIBC_x.y,
# GLIBCXX_3.4.n, GCC_x.y) that any ELF file in the package imports.
#   check-cross-depends.sh PACKAGE.deb OBJDUMP
set -euo pipefail

deb="$1"
objdump="$2"
fail() {
    echo "error: $deb: $*" >&2
    exit 1
}
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
depends="$(dpkg-deb -f "$deb" Depends)"

# The versioned symbols the package's ELF files import.
needed="$(find "$work" -type f -exec sh -c 'file -b "$1" | grep -q ^ELF' _ {} \; -print |
    xargs -r "$objdump" -T | grep -o '(\?\(GLIBC\|GLIBCXX\|GCC\)_[0-9.]*' | tr -d '(' | sort -u)"
[[ -n "$needed" ]] || fail "no versioned symbols found: is it an ELF package?"

newest() { grep "^$1_" <<<"$needed" | sed "s/^$1_//" | sort -V | tail -n 1; }
# libstdc++'s symbol version of each GCC release from 7 on.
glibcxx_release() {
    case "$1" in
    3.4.2[2-4]) echo 7 ;; 3.4.25) echo 8 ;; 3.4.26) echo 9 ;; 3.4.27 | 3.4.28) echo 10 ;;
    3.4.29) echo 11 ;; 3.4.30) echo 12 ;; 3.4.*) echo 5 ;;
    *) fail "unknown libstdc++ symbol version GLIBCXX_$1" ;;
    esac
}
stated() { sed -n "s/.*\b$1 (>= \([^)]*\)).*/\1/p" <<<"$depends"; }

check() {
    local package="$1" wanted="$2" have
    [[ -n "$wanted" ]] || return 0
    have="$(stated "$package")"
    [[ -n "$have" ]] || fail "imports symbols of $package but does not depend on it (Depends: $depends)"
    dpkg --compare-versions "$have" ge "$wanted" ||
        fail "depends on $package (>= $have) but needs $wanted"
    echo "$package (>= $have) covers $wanted"
}
check libc6 "$(newest GLIBC)"
cxx="$(newest GLIBCXX)"
check libstdc++6 "${cxx:+$(glibcxx_release "$cxx")}"
check libgcc-s1 "$(newest GCC)"
