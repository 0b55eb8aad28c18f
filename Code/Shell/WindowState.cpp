#include "Code/Shell/WindowState.h"

#include "Code/Catalogue/Preferences.h"

#include <QMainWindow>
#include <QSplitter>

WindowState::WindowState(Preferences& preferences)
    : _preferences(preferences) {}

void WindowState::restoreLayout(QMainWindow& window, QSplitter& splitter) const {
    window.restoreGeometry(_preferences.value(PreferenceKeys::windowGeometry));
    splitter.restoreState(_preferences.value(PreferenceKeys::windowSplitter));
}

void WindowState::saveLayout(const QMainWindow& window, const QSplitter& splitter) {
    _preferences.setValue(PreferenceKeys::windowGeometry, window.saveGeometry());
    _preferences.setValue(PreferenceKeys::windowSplitter, splitter.saveState());
}

QString WindowState::selectedApplication() const {
    return _preferences.value(PreferenceKeys::selectedApplication);
}

void WindowState::setSelectedApplication(const QString& identifier) {
    _preferences.setValue(PreferenceKeys::selectedApplication, identifier);
}
