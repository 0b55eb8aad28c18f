#!/usr/bin/env bash
# Opens the viewer on the bundled sample applications: their folder is the only place searched,
# and the demo certificate authority that signed them is trusted as an extra anchor. Builds first
# when needed. Without a display, writes a screenshot of the window instead
# (build/screenshots/viewer.png), rendered with Qt's offscreen platform.
#   scripts/run-viewer.sh [BUILD-DIR] [-- VIEWER-OPTIONS...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    build=$(realpath -m "$1")
    shift
fi
[ "${1:-}" = "--" ] && shift

if [ ! -x "$build/bin/lumora-viewer" ] || [ ! -d "$build/examples" ]; then
    bash "$root/scripts/setup.sh" --build-dir "$build"
else
    cmake --build "$build" --target lumora-viewer lumora-examples >/dev/null
fi
examples=$build/examples
arguments=(--scope "$examples" --folder "$examples" --extra-trust-anchors "$examples/DemoCertificateAuthority.pem")

if [ "$(id -u)" -eq 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX:-}" ]; then
    echo "run-viewer: running as root, so the web engine's sandbox cannot start; running without it" >&2
    echo "            (QTWEBENGINE_DISABLE_SANDBOX=1). Run as a normal user to keep the sandbox." >&2
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    screenshots=$build/screenshots
    mkdir -p "$screenshots"
    echo "run-viewer: no display; writing a screenshot of the window to $screenshots/viewer.png instead"
    # Offscreen runs keep their runtime files inside the build tree.
    runtime=$build/screenshots/runtime
    mkdir -p "$runtime" && chmod 700 "$runtime"
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
        "$build/bin/lumora-viewer" "${arguments[@]}" --screenshot "$screenshots/viewer.png" \
        --select TextEditor "$@"
    exit 0
fi
exec "$build/bin/lumora-viewer" "${arguments[@]}" "$@"
