#include "Code/Catalogue/Application.h"

#include "Code/Catalogue/InstalledApplication.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/SearchTextFolding.h"

#include <QHash>
#include <functional>
#include <typeindex>
#include <typeinfo>

namespace {

/// Embeddings, overrides, isolates and the directional marks: characters that reorder the text
/// around them while showing nothing, so that "Safe\u202Eppa.exe" reads as "Safeexe.app".
bool isBidirectionalControl(QChar character) {
    const char16_t unit = character.unicode();
    return (unit >= 0x202A && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069) || unit == 0x200E ||
           unit == 0x200F || unit == 0x061C;
}

QString removingBidirectionalControls(QString text) {
    text.removeIf(isBidirectionalControl);
    return text;
}

} // namespace

Application::Application(QString identifier, QString displayName)
    : _identifier(std::move(identifier))
    , _displayName(removingBidirectionalControls(std::move(displayName))) {}

Application::~Application() = default;

bool Application::isEqual(const Application& other) const {
    if (this == &other) {
        return true;
    }
    return typeid(*this) == typeid(other) && _identifier == other._identifier;
}

std::size_t Application::hash() const {
    return std::hash<std::type_index>{}(std::type_index(typeid(*this))) ^ qHash(_identifier);
}

QString Application::description() const {
    return QStringLiteral("%1: %2 (%3)")
        .arg(QString::fromLatin1(metaObject()->className()), _displayName, _identifier);
}

int Application::compareIsLumoraLoaded(const Application& other) const {
    const bool loaded = isLumoraLoaded();
    const bool otherLoaded = other.isLumoraLoaded();
    if (loaded == otherLoaded) {
        return 0;
    }
    return loaded ? 1 : -1;
}

int Application::compareType(const Application& other) const {
    const bool installed = dynamic_cast<const InstalledApplication*>(this) != nullptr;
    const bool preview = dynamic_cast<const PreviewApplication*>(this) != nullptr;
    if (installed && dynamic_cast<const PreviewApplication*>(&other) != nullptr) {
        return 1;
    }
    if (preview && dynamic_cast<const InstalledApplication*>(&other) != nullptr) {
        return -1;
    }
    return 0;
}

const QString& Application::foldedSearchString() const {
    if (!_foldedSearchString) {
        _foldedSearchString = SearchTextFolding::folded(searchString());
    }
    return *_foldedSearchString;
}
