#!/usr/bin/env bash
# The live application query: initial gathering of a 1,000,000-entry tree against find, then the
# latency of one update on a watched 100,000-entry tree. Each tree is made once in a temporary
# folder (about 15 s for the large one) and removed at the end.
#   bench/live-query.sh [BUILD-DIR]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
"$build/bin/lumora-live-query" gather --entries 1000000 --apps 2000 --runs 3
"$build/bin/lumora-live-query" latency --entries 100000 --apps 200 --runs 5
