#include "Code/Shell/FileDialogOpenPanelPresenter.h"

#include "Code/Catalogue/ApplicationFileTypes.h"
#include "Code/Catalogue/QtStrings.h"
#include "Code/Shell/ShellText.h"

#include <QFileDialog>

namespace {

/// A folder dialog that also takes a download (a disk image, an archive, an installer package)
/// when files may be chosen: a file dialog chooses either files or folders, and application
/// bundles are folders.
class BundleFileDialog : public QFileDialog {
public:
    BundleFileDialog(QWidget* parent, const QString& caption, const QString& directory, bool takesArchives)
        : QFileDialog(parent, caption, directory)
        , _takesArchives(takesArchives) {}

    void accept() override {
        const QStringList files = selectedFiles();
        if (_takesArchives && files.size() == 1 &&
            ApplicationFileTypes::isArchive(QtStrings::toPath(files.front()))) {
            emit filesSelected(files);
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    bool _takesArchives;
};

} // namespace

FileDialogOpenPanelPresenter::FileDialogOpenPanelPresenter(QWidget* window)
    : _window(window) {}

void FileDialogOpenPanelPresenter::showOpenPanel(const Request& request, Completion completion) {
    if (!_window) {
        return;
    }
    const QByteArray table = request.stringsTable.toUtf8();
    auto* dialog = new BundleFileDialog(
        _window, ShellText::localized(request.messageKey.toUtf8().constData(), table.constData()),
        QtStrings::fromPath(request.directory), request.choosesFiles);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setLabelText(QFileDialog::Accept,
                         ShellText::localized(request.promptKey.toUtf8().constData(), table.constData()));
    // Application bundles are folders, and a file dialog chooses either files or folders: adding
    // applications chooses bundles and downloads (single executables come by dropping them or as
    // arguments).
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, request.choosesDirectories && !request.choosesFiles);
    QObject::connect(dialog, &QFileDialog::filesSelected, dialog, [completion](const QStringList& files) {
        std::vector<std::filesystem::path> paths;
        for (const QString& file : files) {
            paths.push_back(QtStrings::toPath(file));
        }
        if (!paths.empty()) {
            completion(paths);
        }
    });
    dialog->open();
}
