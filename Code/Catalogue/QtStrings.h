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

/// Paths on Linux are bytes, usually UTF-8. A path is carried in a QString without loss: a byte
/// that is not part of a valid UTF-8 sequence becomes the lone surrogate U+DC00 + byte (which no
/// valid UTF-8 can produce), and `toPath` turns it back into that byte. So two files whose names
/// differ only in such bytes stay two files, wherever their paths are compared or hashed.
QString fromPath(const std::filesystem::path& path);
std::filesystem::path toPath(const QString& text);

/// A path's text for people to read: invalid bytes are shown as U+FFFD.
inline QString displayTextOfPath(const std::filesystem::path& path) {
    return toQString(std::string_view(path.native()));
}

} // namespace QtStrings
