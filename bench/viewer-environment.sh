# Sourced by the viewer's benchmark scripts: the viewer runs offscreen, and whatever Qt and the web
# engine write stays in the build folder. As root the web engine's sandbox cannot start, so it is
# turned off for these runs (never for users).
viewer_environment() {
    local build=$1
    local home=$build/bench-home
    mkdir -p "$home/runtime" "$home/config" "$home/cache" "$home/data"
    chmod 700 "$home/runtime"
    export XDG_RUNTIME_DIR=$home/runtime XDG_CONFIG_HOME=$home/config XDG_CACHE_HOME=$home/cache \
        XDG_DATA_HOME=$home/data QT_QPA_PLATFORM=offscreen LANGUAGE=en \
        QT_LOGGING_RULES="qt.webenginecontext.info=false"
    if [ "$(id -u)" = 0 ]; then
        export QTWEBENGINE_DISABLE_SANDBOX=1
    fi
}
