#!/usr/bin/env bash
# Builds the plug-in, installs the VST3 and LV2 bundles where Linux hosts look for them, and opens
# the Standalone when there is a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LUMBRANE_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target Lumbrane_All -j "$(nproc)"

artefacts="$build/Lumbrane_artefacts/Release"
mkdir -p "$HOME/.vst3" "$HOME/.lv2"
rm -rf "$HOME/.vst3/Lumbrane.vst3" "$HOME/.lv2/Lumbrane.lv2"
cp -r "$artefacts/VST3/Lumbrane.vst3" "$HOME/.vst3/"
cp -r "$artefacts/LV2/Lumbrane.lv2" "$HOME/.lv2/"
echo "Installed $HOME/.vst3/Lumbrane.vst3 and $HOME/.lv2/Lumbrane.lv2"

if [[ -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ]]; then
    exec "$artefacts/Standalone/Lumbrane"
else
    echo "No display: the Standalone is at $artefacts/Standalone/Lumbrane"
fi
