#!/usr/bin/env bash
# Runs the test command on a freshly made Debian 12 system, as a new developer's machine or a clean
# CI runner would: builds a minimal root with mmdebstrap from this machine's own apt sources, clones
# this repository's HEAD into it and runs ./scripts/test.sh there under chroot. It catches what
# the test command silently relies on from this machine. Slow (a full download and several builds),
# so it stays out of the test command. Needs root (for the chroot and its mounts).
#
#   scripts/test-fresh.sh            FRESH_JOBS (default 4) limits the cores used inside
#   FRESH_KEEP=1 scripts/test-fresh.sh   keeps the root afterwards, for a look inside
set -euo pipefail
[[ $(id -u) -eq 0 ]] || { echo "test-fresh.sh needs root, for the chroot and its mounts" >&2; exit 1; }
root=$(cd "$(dirname "$0")/.." && pwd)
jobs="${FRESH_JOBS:-4}"
work=$(mktemp -d "${TMPDIR:-/tmp}/lumbrane-fresh.XXXXXX")
target="$work/root"
mounted=()

cleanup() {
    for (( i = ${#mounted[@]} - 1; i >= 0; i-- )); do umount -l "${mounted[i]}" 2>/dev/null || true; done
    if grep -q " $target/" /proc/mounts; then
        echo "something is still mounted under $target; left in place"
    elif [[ -z "${FRESH_KEEP:-}" ]]; then
        rm -rf "$work"
    else
        echo "root kept at $target"
    fi
}
trap cleanup EXIT

# This machine's apt sources, so that the fresh root sees the same archive (or snapshot).
mirrors=()
[[ -s /etc/apt/sources.list ]] && mirrors+=(/etc/apt/sources.list)
for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] && grep -q 'debian' "$f" && mirrors+=("$f")
done

echo "== making a fresh Debian 12 root in $target"
mmdebstrap --variant=minbase --include=ca-certificates,sudo bookworm "$target" "${mirrors[@]}"

echo "== cloning $(git -C "$root" rev-parse --short HEAD) into it"
git clone --quiet --no-hardlinks "$root" "$target/lumbrane"
git -C "$target/lumbrane" checkout --quiet "$(git -C "$root" rev-parse HEAD)"

cp /etc/resolv.conf "$target/etc/resolv.conf"
for fs in proc sys dev dev/pts; do
    case $fs in
        proc) mount -t proc proc "$target/proc" ;;
        sys) mount -t sysfs sys "$target/sys" ;;
        dev) mount --bind /dev "$target/dev" ;;
        dev/pts) mount -t devpts devpts "$target/dev/pts" ;;
    esac
    mounted+=("$target/$fs")
done
mount -t tmpfs tmpfs "$target/dev/shm" && mounted+=("$target/dev/shm")

echo "== ./scripts/test.sh inside, on $jobs cores"
# nproc, and so every -j the scripts pass, counts only the cores this process may run on.
cores=(env)
command -v taskset >/dev/null && cores=(taskset -c "0-$(( jobs - 1 ))")
"${cores[@]}" chroot "$target" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c 'cd /lumbrane && ./scripts/test.sh'
echo "== the test command passed on a fresh Debian 12 root"
