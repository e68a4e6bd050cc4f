#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: the bundles land where hosts look under it, the
# Standalone in bin, and the plug-in binaries export nothing but their entry points.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

failed=0
for f in bin/Lumbrane \
         lib/vst3/Lumbrane.vst3/Contents/x86_64-linux/Lumbrane.so \
         lib/lv2/Lumbrane.lv2/libLumbrane.so lib/lv2/Lumbrane.lv2/manifest.ttl lib/lv2/Lumbrane.lv2/dsp.ttl; do
    if [[ -f "$prefix/$f" ]]; then echo "ok   $f"; else echo "FAIL $f missing"; failed=1; fi
done
[[ -x "$prefix/bin/Lumbrane" ]] || { echo "FAIL bin/Lumbrane not executable"; failed=1; }

exports() { nm -D --defined-only "$1" | awk '$2 ~ /^[TDBVWRi]$/ { print $3 }' | sort | tr '\n' ' '; }
vst3=$(exports "$prefix/lib/vst3/Lumbrane.vst3/Contents/x86_64-linux/Lumbrane.so")
lv2=$(exports "$prefix/lib/lv2/Lumbrane.lv2/libLumbrane.so")
[[ "$vst3" == "GetPluginFactory ModuleEntry ModuleExit " ]] || { echo "FAIL VST3 exports: $vst3"; failed=1; }
[[ "$lv2" == "lv2_descriptor lv2ui_descriptor " ]] || { echo "FAIL LV2 exports: $lv2"; failed=1; }

# The description hosts show: an EQ-class effect with its maker's homepage and address.
ttl="$prefix/lib/lv2/Lumbrane.lv2/dsp.ttl"
for want in "lv2:EQPlugin" "foaf:homepage <https://" "foaf:mbox <mailto:"; do
    grep -q "$want" "$ttl" || { echo "FAIL dsp.ttl lacks $want"; failed=1; }
done

exit "$failed"
