#pragma once

#include <QString>

class Preferences;
class QMainWindow;
class QSplitter;

/// What the main window remembers between sessions: its geometry, its splitter, and the
/// application selected last. They are the preferences' local group ("WindowState.ini").
class WindowState {
public:
    /// `preferences` must outlive the state.
    explicit WindowState(Preferences& preferences);

    void restoreLayout(QMainWindow& window, QSplitter& splitter) const;
    void saveLayout(const QMainWindow& window, const QSplitter& splitter);

    /// The identifier of the application selected last (empty when none).
    QString selectedApplication() const;
    void setSelectedApplication(const QString& identifier);

private:
    Preferences& _preferences;
};
