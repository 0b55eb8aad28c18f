#include "Code/Shell/PreviewApplicationsLoadingSheet.h"

#include "Code/Catalogue/LoadProgress.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"
#include "Code/Shell/ShellText.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString sheetText(const char* key) {
    return ShellText::localized(key, ShellText::previewApplicationsLoadingSheetTable);
}

} // namespace

PreviewApplicationsLoadingSheet::PreviewApplicationsLoadingSheet(PreviewApplicationsSource& source,
                                                                 LoadProgress& progress, QWidget* parent)
    : QDialog(parent)
    , _source(source.weak_from_this())
    , _progress(&progress)
    , _statusLabel(new QLabel(this))
    , _progressBar(new QProgressBar(this))
    , _doneButton(new QPushButton(this)) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    _statusLabel->setWordWrap(true);
    _progressBar->setRange(0, 1000);
    _progressBar->setTextVisible(false);
    _doneButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_statusLabel);
    layout->addWidget(_progressBar);
    layout->addWidget(_doneButton, 0, Qt::AlignRight);
    setMinimumWidth(360);

    connect(&progress, &LoadProgress::changed, this, &PreviewApplicationsLoadingSheet::update);
    connect(&source, &PreviewApplicationsSource::loadingListChanged, this,
            &PreviewApplicationsLoadingSheet::update);
    connect(&source, &PreviewApplicationsSource::loadListErrorChanged, this,
            &PreviewApplicationsLoadingSheet::update);
    connect(_doneButton, &QPushButton::clicked, this, &PreviewApplicationsLoadingSheet::buttonClicked);
    update();
}

QString PreviewApplicationsLoadingSheet::statusText() const {
    return _statusLabel->text();
}

QString PreviewApplicationsLoadingSheet::buttonText() const {
    return _doneButton->text();
}

void PreviewApplicationsLoadingSheet::update() {
    const auto source = _source.lock();
    const bool loading = source && source->isLoadingList();
    if (loading) {
        _statusLabel->setText(sheetText("loading"));
        _doneButton->setText(sheetText("cancelButtonTitle"));
    } else if (source && source->loadListError()) {
        _statusLabel->setText(sheetText("loadError"));
        _doneButton->setText(sheetText("doneButtonTitle"));
    } else {
        const qlonglong count = source ? static_cast<qlonglong>(source->applications().size()) : 0;
        _statusLabel->setText(
            sheetText("loadingFinishedFormat %lld").replace(QLatin1String("%lld"), QString::number(count)));
        _doneButton->setText(sheetText("doneButtonTitle"));
    }
    _progressBar->setValue(_progress ? static_cast<int>(_progress->fractionCompleted() * 1000) : 1000);
    _statusLabel->setAccessibleName(_statusLabel->text());
}

void PreviewApplicationsLoadingSheet::buttonClicked() {
    if (_progress && !_progress->isFinished()) {
        _progress->cancel();
    }
    accept();
}
