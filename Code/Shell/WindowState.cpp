#include "Code/Shell/WindowState.h"

#include <QMainWindow>
#include <QSplitter>

namespace {
const QString geometryKey = QStringLiteral("MainWindow/geometry");
const QString splitterKey = QStringLiteral("MainWindow/splitter");
const QString selectedApplicationKey = QStringLiteral("MainWindow/selectedApplication");
} // namespace

WindowState::WindowState(QSettings* settings)
    : _settings(settings) {}

void WindowState::restoreLayout(QMainWindow& window, QSplitter& splitter) const {
    if (_settings) {
        window.restoreGeometry(_settings->value(geometryKey).toByteArray());
        splitter.restoreState(_settings->value(splitterKey).toByteArray());
    }
}

void WindowState::saveLayout(const QMainWindow& window, const QSplitter& splitter) {
    if (_settings) {
        _settings->setValue(geometryKey, window.saveGeometry());
        _settings->setValue(splitterKey, splitter.saveState());
    }
}

QString WindowState::selectedApplication() const {
    return _settings ? _settings->value(selectedApplicationKey).toString() : QString();
}

void WindowState::setSelectedApplication(const QString& identifier) {
    if (_settings) {
        _settings->setValue(selectedApplicationKey, identifier);
    }
}
