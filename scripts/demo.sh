#!/usr/bin/env bash
# Hear and see K'q Drifton without a DAW, on a fresh Debian 12 machine too:
# installs what is missing, builds the release preset (no tests), renders the
# built-in demo through the plug-in once per shape into out/ and draws the
# gains beside each file.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source scripts/lib/packages.sh

ensure_packages "${build_packages[@]}"

jobs="$(nproc 2>/dev/null || echo 2)"
cmake --preset release >/dev/null
cmake --build build/release -j "$jobs" --target drifton-render

render=build/release/tools/render/drifton-render
mkdir -p out
for shape in Triangle Sin Square; do
    name="demo-$(tr '[:upper:]' '[:lower:]' <<<"$shape")"
    "$render" --quiet --set Type="$shape" --plot "out/$name.svg" "out/$name.wav"
    echo "out/$name.wav  out/$name.svg"
done
