#include "tools/ArchiveFixtures/XarWriter.h"

#include "tools/ArchiveFixtures/BigEndianBytes.h"
#include "tools/ArchiveFixtures/FixtureCompression.h"

#include <algorithm>
#include <stdexcept>

#include <openssl/evp.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t headerSize = 28;
constexpr std::uint32_t sha1Algorithm = 1;
constexpr std::uint64_t sha1Size = 20;

Bytes sha1(std::span<const std::uint8_t> bytes) {
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha1(), nullptr) != 1) {
        throw std::runtime_error("SHA-1 failed");
    }
    digest.resize(length);
    return digest;
}

std::string hex(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const auto byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

std::string escaped(const std::string& text) {
    std::string result;
    for (const char character : text) {
        switch (character) {
        case '&':
            result.append("&amp;");
            break;
        case '<':
            result.append("&lt;");
            break;
        case '>':
            result.append("&gt;");
            break;
        default:
            result.push_back(character);
        }
    }
    return result;
}

} // namespace

XarWriter::Entry& XarWriter::entryAt(const std::string& path) {
    Entry* folder = &_root;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string name =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (name.empty()) {
            throw std::invalid_argument("an empty name in the xar path " + path);
        }
        auto found = std::find_if(folder->children.begin(), folder->children.end(),
                                  [&name](const Entry& child) { return child.name == name; });
        if (found == folder->children.end()) {
            folder->children.push_back(Entry{.name = name, .isDirectory = slash != std::string::npos});
            found = folder->children.end() - 1;
        }
        if (slash == std::string::npos) {
            return *found;
        }
        folder = &*found;
        start = slash + 1;
    }
}

XarWriter& XarWriter::addFile(const std::string& path, std::span<const std::uint8_t> contents) {
    Entry& entry = entryAt(path);
    const Bytes stored = FixtureCompression::zlibCompressed(contents);
    entry.heapOffset = sha1Size + _heapData.size();
    entry.storedLength = stored.size();
    entry.size = contents.size();
    entry.storedChecksum = hex(sha1(stored));
    entry.extractedChecksum = hex(sha1(contents));
    BigEndianBytes::appendBytes(_heapData, stored);
    return *this;
}

XarWriter& XarWriter::addFile(const std::string& path, const std::string& contents) {
    return addFile(path, std::span(reinterpret_cast<const std::uint8_t*>(contents.data()), contents.size()));
}

void XarWriter::appendEntry(std::string& text, const Entry& entry, std::uint64_t& nextIdentifier,
                            int depth) const {
    const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
    text.append(indent).append("<file id=\"").append(std::to_string(nextIdentifier++)).append("\">\n");
    if (!entry.isDirectory) {
        text.append(indent).append("  <data>\n");
        text.append(indent)
            .append("    <length>")
            .append(std::to_string(entry.storedLength))
            .append("</length>\n");
        text.append(indent).append("    <encoding style=\"application/x-gzip\"/>\n");
        text.append(indent)
            .append("    <offset>")
            .append(std::to_string(entry.heapOffset))
            .append("</offset>\n");
        text.append(indent).append("    <size>").append(std::to_string(entry.size)).append("</size>\n");
        text.append(indent)
            .append("    <extracted-checksum style=\"sha1\">")
            .append(entry.extractedChecksum)
            .append("</extracted-checksum>\n");
        text.append(indent)
            .append("    <archived-checksum style=\"sha1\">")
            .append(entry.storedChecksum)
            .append("</archived-checksum>\n");
        text.append(indent).append("  </data>\n");
    }
    text.append(indent).append("  <mtime>2026-01-01T00:00:00Z</mtime>\n");
    text.append(indent).append("  <group>wheel</group>\n  ").append(indent).append("<gid>0</gid>\n");
    text.append(indent).append("  <user>root</user>\n  ").append(indent).append("<uid>0</uid>\n");
    text.append(indent).append(entry.isDirectory ? "  <mode>0755</mode>\n" : "  <mode>0644</mode>\n");
    text.append(indent).append("  <name>").append(escaped(entry.name)).append("</name>\n");
    text.append(indent).append(entry.isDirectory ? "  <type>directory</type>\n" : "  <type>file</type>\n");
    for (const auto& child : entry.children) {
        appendEntry(text, child, nextIdentifier, depth + 1);
    }
    text.append(indent).append("</file>\n");
}

std::string XarWriter::tableOfContents() const {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<xar>\n <toc>\n";
    text.append("  <checksum style=\"sha1\">\n   <offset>0</offset>\n   <size>20</size>\n  </checksum>\n");
    text.append("  <creation-time>2026-01-01T00:00:00</creation-time>\n");
    std::uint64_t nextIdentifier = 1;
    for (const auto& entry : _root.children) {
        appendEntry(text, entry, nextIdentifier, 2);
    }
    text.append(" </toc>\n</xar>\n");
    return text;
}

std::vector<std::uint8_t> XarWriter::bytes() const {
    const std::string table = tableOfContents();
    const Bytes compressedTable = FixtureCompression::zlibCompressed(
        std::span(reinterpret_cast<const std::uint8_t*>(table.data()), table.size()));
    Bytes archive;
    BigEndianBytes::appendText(archive, "xar!");
    BigEndianBytes::append16(archive, headerSize);
    BigEndianBytes::append16(archive, 1); // version
    BigEndianBytes::append64(archive, compressedTable.size());
    BigEndianBytes::append64(archive, table.size());
    BigEndianBytes::append32(archive, sha1Algorithm);
    BigEndianBytes::appendBytes(archive, compressedTable);
    BigEndianBytes::appendBytes(archive, sha1(compressedTable));
    BigEndianBytes::appendBytes(archive, _heapData);
    return archive;
}
