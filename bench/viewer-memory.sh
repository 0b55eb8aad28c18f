#!/usr/bin/env bash
# The memory of all the viewer's processes (the program and the web engine's) with 1,000 copies
# of the sample editor listed, once the selected one's page is on screen: RSS and PSS totals.
#   bench/viewer-memory.sh [BUILD-DIR] [COUNT]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
. "$root/bench/viewer-environment.sh"
viewer_environment "$build"
examples=$build/examples
# The copies go to memory where it can hold them: on a disk mounted with discard, removing their
# 20,000 files took two minutes here. They are read the same way from either.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
"$build/bin/lumora-viewer-memory" --count "${2:-1000}" "$build/bin/lumora-viewer" "$examples/TextEditor.app" \
    "$examples/DemoCertificateAuthority.pem"
