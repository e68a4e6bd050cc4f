#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and AddressSanitizer and runs each for a bounded time
# (FUZZ_SECONDS, default 60), starting from the committed seed corpora (every seed runs first). A crash, or an input that
# takes over 10 s, fails the run and leaves its input in the build folder; turn it into a
# regression test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LUMBRANE_BUILD_DIR:-$root/build}-fuzz"
seconds="${FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DLUMBRANE_FUZZ=ON -DLUMBRANE_BUILD_TESTS=OFF -DLUMBRANE_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target model_loading_fuzzer saved_state_fuzzer -j "$(nproc)"

# Saved states get inputs up to 1 MB (far past the reader's bound) and a dictionary of XML's
# constructs, so that mutations reach declarations, entities and deep or wide documents.
declare -A extra=(
    [model_loading]="-max_len=4096"
    [saved_state]="-max_len=1048576 -dict=$root/tests/fuzz/saved_state.dict"
)

export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1"
for target in model_loading saved_state; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    cp -n "$root/tests/fuzz/corpus/$target"/* "$corpus/" 2>/dev/null || true
    echo "== $target fuzzer, $seconds s"
    # shellcheck disable=SC2086
    (cd "$build" && "./tests/fuzz/${target}_fuzzer" -max_total_time="$seconds" ${extra[$target]} -timeout=10 -print_final_stats=1 "$corpus")
done
