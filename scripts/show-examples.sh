#!/usr/bin/env bash
# Loads every sample application of the build tree as the viewer does (each signature and sealed
# file verified; the samples are signed by a demo certificate authority, which is given as an
# extra trust anchor) and prints each one's state and the sample editor's document, then writes
# the page the viewer shows for each sample into the build tree.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
examples=$build/examples
lumora=$build/bin/lumora
anchor=$examples/DemoCertificateAuthority.pem

# Some samples are broken on purpose (tampered, unsigned, without a document): check reports them.
"$lumora" check --extra-trust-anchors "$anchor" "$examples"/*.app "$examples/backup-agent" || true
echo
"$lumora" show --extra-trust-anchors "$anchor" "$examples/TextEditor.app"

# The page the viewer shows for each sample, ready to open in a browser.
pages=$build/pages
mkdir -p "$pages"
for application in "$examples"/*.app "$examples/backup-agent"; do
    name=$(basename "$application" .app)
    "$lumora" page --extra-trust-anchors "$anchor" -o "$pages/$name.html" "$application"
done
"$lumora" page --empty-selection -o "$pages/NoSelection.html"
echo
echo "Pages written to $pages:"
ls "$pages"
