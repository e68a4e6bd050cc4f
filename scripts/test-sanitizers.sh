#!/usr/bin/env bash
# Builds the tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs them all, then
# with ThreadSanitizer and runs the tests that cross threads. Any report fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
base="${LUMBRANE_BUILD_DIR:-$root/build}"
jobs=$(nproc)

configure_and_build() {
    local dir=$1 sanitizers=$2
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DLUMBRANE_SANITIZE="$sanitizers" -DLUMBRANE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$dir" --target model_tests plugin_tests -j "$jobs"
}

run_display() {
    if [[ -z "${DISPLAY:-}" ]]; then xvfb-run -a -s "-screen 0 1280x800x24" "$@"; else "$@"; fi
}

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build "$base-asan" "address;undefined"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp"
"$base-asan/tests/model_tests"
run_display "$base-asan/tests/plugin_tests"
# Once more with every editor on a shown window: closing a shown window runs code that an editor
# painted into an image never reaches.
LUMBRANE_SHOW_EDITOR=1 run_display "$base-asan/tests/plugin_tests" \
    --gtest_filter='Editor*:GainColumn*:DepthKnob*:DepthEqArc*:FactoryPresets*:Meter.*'

echo "== ThreadSanitizer"
configure_and_build "$base-tsan" "thread"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/sanitizers/tsan.supp"
run_display "$base-tsan/tests/plugin_tests" --gtest_filter='MeterHandOver.*:HostileHost.StateRestoredFromAnotherThreadWhileAudioRuns'
