#!/usr/bin/env bash
# The viewer's window from a change of the selection to the new page painted, alternating between
# two generated applications that declare 500 connections each, 20 times.
#   bench/viewer-selection.sh [BUILD-DIR] [CONNECTIONS] [REPETITIONS]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
. "$root/bench/viewer-environment.sh"
viewer_environment "$build"
"$build/bin/lumora-viewer-selection" --connections "${2:-500}" --repetitions "${3:-20}"
