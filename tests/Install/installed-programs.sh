#!/usr/bin/env bash
# Installs a build into a temporary prefix and runs the installed programs from outside the source
# and build trees: they must find their resources beside themselves, not in the build tree.
#   installed-programs.sh BUILD-DIR
set -euo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "FAILED: $*" >&2; exit 1; }
for file in bin/lumora bin/lumora-viewer share/lumora-viewer/Resources/en.lproj/MainWindow.strings \
            share/lumora-viewer/Resources/Images/AppIconPlaceholder.png \
            share/applications/org.lumoraviewer.LumoraViewer.desktop \
            share/metainfo/org.lumoraviewer.LumoraViewer.metainfo.xml \
            share/icons/hicolor/scalable/apps/org.lumoraviewer.LumoraViewer.svg \
            share/icons/hicolor/48x48/apps/org.lumoraviewer.LumoraViewer.png \
            share/icons/hicolor/128x128/apps/org.lumoraviewer.LumoraViewer.png \
            share/icons/hicolor/256x256/apps/org.lumoraviewer.LumoraViewer.png \
            share/man/man1/lumora.1.gz share/man/man1/lumora-viewer.1.gz; do
    [ -e "$prefix/$file" ] || fail "$file was not installed"
done
if grep -rl --binary-files=text "$build/Resources" "$prefix/bin" >/dev/null; then
    fail "an installed program names the build tree's resources"
fi

cd "$work"
unset LUMORA_RESOURCES_DIR
mkdir -p home/config home/cache home/data home/runtime && chmod 700 home/runtime
export XDG_CONFIG_HOME=$work/home/config XDG_CACHE_HOME=$work/home/cache XDG_DATA_HOME=$work/home/data \
    XDG_RUNTIME_DIR=$work/home/runtime QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 LANGUAGE=en

version=$("$prefix/bin/lumora" --version)
[ "$version" = "lumora $LUMORA_EXPECTED_VERSION" ] || fail "lumora --version printed '$version'"
"$prefix/bin/lumora" check --extra-trust-anchors "$build/examples/DemoCertificateAuthority.pem" \
    "$build/examples/TextEditor.app" | grep -q loaded || fail "the installed lumora did not load the sample"

"$prefix/bin/lumora-viewer" --screenshot "$work/viewer.png" --select TextEditor --size 900x600 \
    --scope "$build/examples" --folder "$build/examples" \
    --extra-trust-anchors "$build/examples/DemoCertificateAuthority.pem" 2>"$work/viewer.log" ||
    { cat "$work/viewer.log" >&2; fail "the installed lumora-viewer did not write its screenshot"; }
[ -s "$work/viewer.png" ] || fail "the screenshot is empty"

# Without its resources the viewer names the folder it looked in.
mv "$prefix/share/lumora-viewer" "$prefix/share/lumora-viewer.away"
if "$prefix/bin/lumora-viewer" --screenshot "$work/none.png" 2>"$work/missing.log"; then
    fail "the viewer started without its resources"
fi
grep -qF "$prefix/share/lumora-viewer/Resources" "$work/missing.log" ||
    { cat "$work/missing.log" >&2; fail "the message does not name the folder"; }
echo "installed programs work from $prefix"
