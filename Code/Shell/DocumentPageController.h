#pragma once

#include "Code/Model/ConnectionInformation.h"
#include "Code/Presentation/DocumentPage.h"

#include <QColor>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class ApplicationIconCache;
class ApplicationsSourceController;
class Preferences;

/// Builds the page beside the list from everything it depends on (the selection and its load
/// state, the appearance, the preferences, the developer panel) and builds it again whenever one of
/// them changes. Changes that arrive together give one new page. Main thread only; a page of a
/// large document is built on a thread of its own, so that the window stays responsive, and a
/// page that a newer one has overtaken is dropped.
class DocumentPageController : public QObject {
    Q_OBJECT

public:
    /// The simulated connection of the developer panel, asked for only in developer mode; null
    /// while the panel simulates nothing.
    using SimulatedConnectionProvider = std::function<std::shared_ptr<const ConnectionInformation>()>;

    /// The three objects must outlive the controller.
    DocumentPageController(ApplicationsSourceController& sources, Preferences& preferences,
                           ApplicationIconCache& icons, QObject* parent = nullptr);
    ~DocumentPageController() override;

    void setSimulatedConnectionProvider(SimulatedConnectionProvider provider);
    /// The window's appearance: a dark page, and the accent colour of buttons (none: the default).
    void setAppearance(bool dark, std::optional<QColor> accentColor);

    DocumentPageSnapshot snapshot();
    /// The complete page for the current state.
    QString pageHTML();

public slots:
    /// Something the page shows has changed: a new page follows once the current events are handled.
    void setNeedsRebuild();

signals:
    void pageChanged(const QString& html);

private:
    void rebuild();
    /// Builds the page of `pageSnapshot` and publishes it unless a newer one has overtaken it.
    void build(std::uint64_t generation, DocumentPageSnapshot pageSnapshot);
    void observeSelectedApplication();
    void publish(std::uint64_t generation, const QString& html);

    ApplicationsSourceController& _sources;
    Preferences& _preferences;
    ApplicationIconCache& _icons;
    SimulatedConnectionProvider _simulatedConnection;
    bool _dark = false;
    std::optional<QColor> _accentColor;
    QTimer _rebuildTimer;
    /// Counts rebuilds, so that a page built in the background for an older state is dropped.
    std::uint64_t _generation = 0;
    QMetaObject::Connection _selectedApplicationObservation;
    QMetaObject::Connection _selectedApplicationIconObservation;
    QMetaObject::Connection _selectedApplicationDocumentObservation;
    /// The selected application's document, kept in memory while it is selected.
    std::shared_ptr<const Lumora> _selectedDocument;
    /// Set by `snapshot` while the selected application's document is being read again.
    bool _awaitingDocument = false;
    /// Computed once per change of their input, not per rebuild.
    struct EncodedIcon {
        QString identifier;
        qint64 imageKey = 0;
        std::vector<std::uint8_t> png;
    };
    EncodedIcon _encodedIcon;
    std::filesystem::path _homeFolder;
    std::vector<std::uint8_t> _cautionImagePNG;
    std::vector<std::uint8_t> _previewApplicationsImagePNG;
    QThreadPool* _pageBuilding;
};
