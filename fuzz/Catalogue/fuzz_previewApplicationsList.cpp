// Any bytes as a featured-applications list: no crash, every failure described, never more entries
// than asked for, and no icon address that leaves the icon folder.

#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Catalogue/PreviewApplicationsSource.h"

#include <QString>
#include <QUrl>
#include <cstdint>
#include <cstdlib>
#include <variant>

namespace {

constexpr qsizetype maximumApplications = 64;

const QUrl& listURL() {
    static const QUrl url(QStringLiteral("https://example.org/resources/lumora/featured-applications.json"));
    return url;
}

void checkRecord(const PreviewApplication::JSONRepresentation& representation) {
    const auto record = PreviewApplication::make(representation, QStringLiteral("de"), nullptr);
    if (!record) {
        return;
    }
    const QUrl icon = PreviewApplicationsSource::iconURL(listURL(), record->iconName());
    const QString folder = QStringLiteral("/resources/lumora/app-icons/");
    if (!icon.isEmpty() && (icon.host() != listURL().host() || !icon.path().startsWith(folder) ||
                            icon.path(QUrl::FullyEncoded).mid(folder.size()).contains(QLatin1Char('/')))) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto decoded = PreviewApplication::decodeList(bytes, maximumApplications);
    if (const auto* const error = std::get_if<QString>(&decoded)) {
        if (error->isEmpty()) {
            std::abort();
        }
        return 0;
    }
    const auto& list = std::get<PreviewApplication::JSONList>(decoded);
    if (static_cast<qsizetype>(list.applications.size()) > maximumApplications ||
        list.ignoredApplicationCount < 0) {
        std::abort();
    }
    for (const auto& representation : list.applications) {
        checkRecord(representation);
    }
    return 0;
}
