#include "Code/Shell/ViewerLogFilter.h"

#include <QLoggingCategory>
#include <QtGlobal>
#include <array>

namespace {

/// Messages of conditions the viewer handles, by their start.
constexpr std::array handledMessages{
    // Icon files often hold JPEG 2000 pictures beside the ones Qt decodes; the largest decodable
    // one is taken and these are passed over on purpose.
    "QICNSHandler::read(): Failed, compressed format \"jp2\"",
    // Only ever when the environment asks for it (QTWEBENGINE_DISABLE_SANDBOX): whoever set it knows.
    "Sandboxing disabled by user.",
};

QtMessageHandler previousHandler = nullptr;

void filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg && ViewerLogFilter::drops(message)) {
        return;
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

} // namespace

bool ViewerLogFilter::drops(const QString& message) {
    for (const char* handled : handledMessages) {
        if (message.startsWith(QLatin1String(handled))) {
            return true;
        }
    }
    return false;
}

void ViewerLogFilter::install() {
    // The web engine's report of its graphics set-up at start.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                    "qt.webenginecontext.debug=false"));
    // Without a display there is no OpenGL to share with the engine: the software scene graph
    // spares the warning that it found none.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && !qEnvironmentVariableIsSet("QT_QUICK_BACKEND")) {
        qputenv("QT_QUICK_BACKEND", "software");
    }
    previousHandler = qInstallMessageHandler(filter);
}
