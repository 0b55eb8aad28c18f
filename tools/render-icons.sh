#!/usr/bin/env bash
# Renders the LumoraViewer application icon from its SVG source into the
# fixed-size PNGs used for installation (48, 128 and 256 pixels square).
set -euo pipefail

script_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
icons_dir="$(cd "${script_dir}/../desktop/icons" && pwd)"
app_id="org.lumoraviewer.LumoraViewer"
source_svg="${icons_dir}/${app_id}.svg"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "error: rsvg-convert was not found." >&2
    echo "       Install it first, e.g. on Debian/Ubuntu: sudo apt-get install librsvg2-bin" >&2
    exit 1
fi

if [[ ! -f "${source_svg}" ]]; then
    echo "error: icon source not found: ${source_svg}" >&2
    exit 1
fi

for size in 48 128 256; do
    out_dir="${icons_dir}/${size}"
    mkdir -p "${out_dir}"
    rsvg-convert --width "${size}" --height "${size}" --format png \
        --output "${out_dir}/${app_id}.png" "${source_svg}"
    echo "rendered ${out_dir}/${app_id}.png"
done
