#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

/// The one crossing between Qt's UTF-16 strings and the core's UTF-8 text and paths.
namespace QtStrings {

inline QString toQString(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toStdString(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

/// Paths on Linux are bytes; treating them as UTF-8 matches how the core prints them.
inline QString fromPath(const std::filesystem::path& path) {
    return toQString(std::string_view(path.native()));
}

inline std::filesystem::path toPath(const QString& text) {
    return std::filesystem::path(toStdString(text));
}

} // namespace QtStrings
