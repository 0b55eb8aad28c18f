#pragma once

#include "Code/Catalogue/OpenPanelPresenter.h"

#include <QPointer>
#include <QWidget>

/// The open panel as a window-modal file dialog over the given window.
class FileDialogOpenPanelPresenter : public OpenPanelPresenter {
public:
    explicit FileDialogOpenPanelPresenter(QWidget* window);
    void showOpenPanel(const Request& request, Completion completion) override;

private:
    QPointer<QWidget> _window;
};
