#pragma once

#include <QString>

/// Keeps the terminal the viewer was started from for its own lines and real warnings: the web
/// engine's start-up report and the messages of conditions the viewer already handles (icon
/// entries in a format it passes over, the sandbox the launch already explained) are dropped.
/// Everything else goes to the handler that was installed before.
namespace ViewerLogFilter {

/// Installs the filter and the logging rules (a QT_LOGGING_RULES of the user's still wins).
/// Call once, before the application object.
void install();

/// Whether the filter drops `message`.
bool drops(const QString& message);

} // namespace ViewerLogFilter
