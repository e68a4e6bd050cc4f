#!/usr/bin/env bash
# The built LV2 bundle in Debian's real hosts: lilv lists it as a host sees it, and jalv runs it
# on JACK's dummy backend for a few seconds of audio.
set -euo pipefail
bundle_dir="$1"
uri="$2"
export LV2_PATH="$bundle_dir"

fail() { echo "FAIL: $*"; exit 1; }

lv2ls | grep -qx "$uri" || fail "lv2ls does not list $uri"

info=$(lv2info "$uri")
grep -q "Name: *Lumbrane" <<<"$info" || fail "lv2info shows no name Lumbrane"
grep -q "Author: *Quillfern" <<<"$info" || fail "lv2info shows no author Quillfern"
[[ $(grep -c "lv2core#AudioPort" <<<"$info") -eq 4 ]] || fail "expected two audio inputs and two outputs"

server="lumbrane_test_$$"
jackd --no-realtime -n "$server" -d dummy -r 48000 -p 256 >/dev/null 2>&1 &
jack_pid=$!
trap 'kill $jack_pid 2>/dev/null || true' EXIT
sleep 1

log=$(mktemp)
set +e
JACK_DEFAULT_SERVER="$server" timeout -s INT 4 jalv -x -n lumbrane "$uri" >"$log" 2>&1 </dev/null
status=$?
set -e
cat "$log"
grep -q "Plugin: *$uri" "$log" || fail "jalv did not instantiate the plug-in"
grep -q "Sample rate: *48000" "$log" || fail "jalv did not run it at 48 kHz"
[[ $status -eq 0 || $status -eq 124 ]] || fail "jalv ended with status $status"
echo "real hosts: ok"
