#!/usr/bin/env bash
# Runs a 64-bit ARM Linux program on this machine under qemu-aarch64 (Debian's
# qemu-user), with the cross C library's folder (Debian's *-arm64-cross
# packages) as the root the dynamic loader searches. Sourced, it defines
# drifton_qemu for other scripts.
#   qemu.sh PROGRAM [ARGUMENTS...]

DRIFTON_QEMU_SYSROOT="${DRIFTON_QEMU_SYSROOT:-/usr/aarch64-linux-gnu}"

drifton_qemu() {
    if ! command -v qemu-aarch64 >/dev/null 2>&1; then
        echo "error: no qemu-aarch64 (install Debian's qemu-user package)" >&2
        return 1
    fi
    if [[ ! -e "$DRIFTON_QEMU_SYSROOT/lib/ld-linux-aarch64.so.1" ]]; then
        echo "error: no aarch64 C library in $DRIFTON_QEMU_SYSROOT (install g++-aarch64-linux-gnu)" >&2
        return 1
    fi
    qemu-aarch64 -L "$DRIFTON_QEMU_SYSROOT" "$@"
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    set -uo pipefail
    drifton_qemu "$@"
fi
