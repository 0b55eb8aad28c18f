#pragma once

#include <QPointer>
#include <QSettings>

class QMainWindow;
class QSplitter;

/// What the main window remembers between sessions in WindowState.ini: its geometry, its
/// splitter, and the application selected last. Without a settings object nothing is
/// remembered and every read gives nothing.
class WindowState {
public:
    /// `settings` is not owned; it may be null.
    explicit WindowState(QSettings* settings);

    void restoreLayout(QMainWindow& window, QSplitter& splitter) const;
    void saveLayout(const QMainWindow& window, const QSplitter& splitter);

    /// The identifier of the application selected last (empty when none).
    QString selectedApplication() const;
    void setSelectedApplication(const QString& identifier);

private:
    QPointer<QSettings> _settings;
};
