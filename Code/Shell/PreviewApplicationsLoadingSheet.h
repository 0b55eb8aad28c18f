#pragma once

#include <QDialog>
#include <QPointer>
#include <memory>

class LoadProgress;
class PreviewApplicationsSource;
class QLabel;
class QProgressBar;
class QPushButton;

/// Reports the loading of the featured list over the main window: loading (with Cancel), the
/// number loaded, or that loading failed (with Done). Window-modal; closes itself on its button.
class PreviewApplicationsLoadingSheet : public QDialog {
    Q_OBJECT

public:
    PreviewApplicationsLoadingSheet(PreviewApplicationsSource& source, LoadProgress& progress,
                                    QWidget* parent);

    QString statusText() const;
    QString buttonText() const;

private:
    void update();
    void buttonClicked();

    std::weak_ptr<PreviewApplicationsSource> _source;
    QPointer<LoadProgress> _progress;
    QLabel* _statusLabel;
    QProgressBar* _progressBar;
    QPushButton* _doneButton;
};
