#include "Code/Catalogue/QtStrings.h"

#include <cstdint>

namespace QtStrings {

namespace {

constexpr char16_t escapedByteBase = 0xDC00;

/// The length of the valid UTF-8 sequence at the start of `bytes` and its code point, or 0.
std::size_t validSequence(std::string_view bytes, char32_t& codePoint) {
    const auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(bytes[index]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (std::size_t index = 1; index < length; ++index) {
        if ((byte(index) & 0xC0) != 0x80) {
            return 0;
        }
        codePoint = codePoint << 6 | (byte(index) & 0x3F);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint < minimum || codePoint > 0x10FFFF || surrogate ? 0 : length;
}

} // namespace

QString fromPath(const std::filesystem::path& path) {
    const std::string_view bytes(path.native());
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t index = 0; index < bytes.size();) {
        char32_t codePoint = 0;
        const std::size_t length = validSequence(bytes.substr(index), codePoint);
        if (length == 0) {
            text.append(
                QChar(static_cast<char16_t>(escapedByteBase + static_cast<std::uint8_t>(bytes[index]))));
            ++index;
            continue;
        }
        if (codePoint >= 0x10000) {
            text.append(QChar(QChar::highSurrogate(codePoint)));
            text.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            text.append(QChar(static_cast<char16_t>(codePoint)));
        }
        index += length;
    }
    return text;
}

std::filesystem::path toPath(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        if (end > runStart) {
            const QByteArray run = text.mid(runStart, end - runStart).toUtf8();
            bytes.append(run.constData(), static_cast<std::size_t>(run.size()));
        }
    };
    for (qsizetype index = 0; index < text.size(); ++index) {
        const char16_t unit = text.at(index).unicode();
        const bool escapedByte = unit >= escapedByteBase + 0x80 && unit <= escapedByteBase + 0xFF &&
                                 (index == 0 || !text.at(index - 1).isHighSurrogate());
        if (escapedByte) {
            flushRun(index);
            bytes.push_back(static_cast<char>(unit - escapedByteBase));
            runStart = index + 1;
        }
    }
    flushRun(text.size());
    return std::filesystem::path(std::move(bytes));
}

} // namespace QtStrings
