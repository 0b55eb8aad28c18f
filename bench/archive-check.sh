#!/usr/bin/env bash
# Checking a release download against extracting it: a disk image and a zip archive of about
# 500 MB, each holding the sample editor with 5,000 filler resource files of 100 KB (random
# bytes, so nothing compresses them away). For each, the seconds of `7zz x` of the whole archive
# into a fresh folder and of `lumora check` to its verdict, warm (files in the page cache) and,
# when run as root, cold (page cache dropped before each run).
#   bench/archive-check.sh [BUILD-DIR] [FILLER-COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
count=${2:-5000}
examples=$build/examples
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/volume"
cp -a "$examples/TextEditor.app" "$work/volume/"
filler=$work/volume/TextEditor.app/Contents/Resources/Filler
mkdir -p "$filler"
head -c $((count * 102400)) /dev/urandom | (cd "$filler" && split -b 102400 -a 5 -d - filler-)
(cd "$work/volume" && 7zz a -tzip -mx0 -snl -bd -bso0 "$work/Example.zip" TextEditor.app)
"$build/bin/lumora-make-disk-image" "$work/volume" Example "$work/Example.dmg"
rm -rf "$work/volume"

# The verdict itself, once: the timings below mean nothing if the editor does not load.
verdict() {
    "$build/bin/lumora" check --extra-trust-anchors "$examples/DemoCertificateAuthority.pem" "$work/$1"
}
verdict Example.dmg
verdict Example.zip

seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    awk "BEGIN { print $end - $start }"
}
dropCaches() {
    sync
    echo 3 > /proc/sys/vm/drop_caches
}

modes=(warm)
if [ "$(id -u)" = 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    modes+=(cold)
fi
printf '%-12s %-5s %10s %12s %12s %8s\n' archive cache MB "7zz x (s)" "check (s)" ratio
for archive in Example.dmg Example.zip; do
    size=$(( $(stat -c %s "$work/$archive") / 1048576 ))
    for mode in "${modes[@]}"; do
        # One untimed run of each first, so that the warm figures start warm.
        rm -rf "$work/out" && mkdir "$work/out"
        [ "$mode" = warm ] && seconds 7zz x -y -bd -o"$work/out" "$work/$archive" >/dev/null
        rm -rf "$work/out" && mkdir "$work/out"
        [ "$mode" = cold ] && dropCaches
        whole=$(seconds 7zz x -y -bd -o"$work/out" "$work/$archive")
        rm -rf "$work/out"
        [ "$mode" = cold ] && dropCaches
        check=$(seconds "$build/bin/lumora" check --extra-trust-anchors "$examples/DemoCertificateAuthority.pem" \
            "$work/$archive")
        printf '%-12s %-5s %10s %12.2f %12.2f %8.2f\n' "$archive" "$mode" "$size" "$whole" "$check" \
            "$(awk "BEGIN { print $check / $whole }")"
    done
done
