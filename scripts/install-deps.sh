#!/usr/bin/env bash
# Installs the Debian packages the build needs (with --test, also what the tests need; with
# --training, what retraining the models needs); skips what is there. The tests run the training
# tools' own tests, so --test covers every Python module those import, and the artwork tools'.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config libzita-resampler-dev libsoxr-dev
    juce-modules-source libeigen3-dev nlohmann-json3-dev libgtest-dev libfftw3-dev libhwy-dev
    libasound2-dev libjack-jackd2-dev libfreetype-dev libfontconfig1-dev
    libx11-dev libxcomposite-dev libxcursor-dev libxext-dev libxinerama-dev libxrandr-dev libxrender-dev
)

if [[ "${1:-}" == "--test" ]]; then
    packages+=(
        xvfb xauth xdotool imagemagick
        lilv-utils jalv jackd2
        clang libclang-rt-14-dev
        python3-numpy python3-scipy python3-torch python3-dev pybind11-dev libtorch-dev
        python3-mido python3-pil python3-setuptools
    )
fi

if [[ "${1:-}" == "--training" ]]; then
    packages+=(
        python3-numpy python3-scipy python3-torch python3-dev pybind11-dev libtorch-dev python3-matplotlib python3-mido python3-setuptools
        fluidsynth fluid-soundfont-gm openttd-openmsx espeak-ng sox
    )
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if (( ${#missing[@]} > 0 )); then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
