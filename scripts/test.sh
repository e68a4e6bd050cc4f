#!/usr/bin/env bash
# Installs what the tests need, builds everything and runs every test: the suite, then the
# sanitizer builds and a bounded fuzzing run (FUZZ_SECONDS per target, default 60).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LUMBRANE_BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh" --test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)"

# The GUI tests need a display; a virtual one serves where there is none.
if [[ -z "${DISPLAY:-}" ]]; then
    xvfb-run -a -s "-screen 0 1280x800x24" ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
else
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
fi

"$root/scripts/test-sanitizers.sh"
"$root/scripts/fuzz.sh"
