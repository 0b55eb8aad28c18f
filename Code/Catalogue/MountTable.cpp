#include "Code/Catalogue/MountTable.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>

#include <fcntl.h>
#include <unistd.h>

namespace {

/// Splits off the next field separated by single spaces; none at the end of the line.
std::optional<std::string_view> nextField(std::string_view& rest) {
    if (rest.empty()) {
        return std::nullopt;
    }
    const auto space = rest.find(' ');
    const auto field = rest.substr(0, space);
    rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    return field;
}

bool isOctalDigit(char character) {
    return character >= '0' && character <= '7';
}

/// The kernel writes space, tab, line feed and backslash in paths as a backslash and three octal
/// digits; anything else stands for itself.
std::optional<std::string> unescaped(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t index = 0; index < field.size(); ++index) {
        if (field[index] == '\0') {
            return std::nullopt;
        }
        if (field[index] != '\\') {
            text.push_back(field[index]);
            continue;
        }
        if (field.size() - index < 4 || !isOctalDigit(field[index + 1]) || !isOctalDigit(field[index + 2]) ||
            !isOctalDigit(field[index + 3])) {
            return std::nullopt;
        }
        const int value =
            (field[index + 1] - '0') * 64 + (field[index + 2] - '0') * 8 + (field[index + 3] - '0');
        if (value > 0xff || value == 0) {
            return std::nullopt;
        }
        text.push_back(static_cast<char>(value));
        index += 3;
    }
    return text;
}

} // namespace

std::optional<MountTable::Entry> MountTable::parseLine(std::string_view line) {
    std::string_view rest = line;
    const auto mountID = nextField(rest);
    const auto parentID = nextField(rest);
    const auto device = nextField(rest);
    const auto root = nextField(rest);
    const auto mountPoint = nextField(rest);
    const auto options = nextField(rest);
    if (!options || parentID->empty() || device->find(':') == std::string_view::npos || root->empty()) {
        return std::nullopt;
    }
    Entry entry;
    const auto [end, error] =
        std::from_chars(mountID->data(), mountID->data() + mountID->size(), entry.mountID);
    if (error != std::errc() || end != mountID->data() + mountID->size()) {
        return std::nullopt;
    }
    // Optional fields ("shared:1", "master:2") run up to a lone hyphen.
    for (;;) {
        const auto field = nextField(rest);
        if (!field) {
            return std::nullopt;
        }
        if (*field == "-") {
            break;
        }
    }
    const auto type = nextField(rest);
    if (!type || type->empty()) {
        return std::nullopt;
    }
    auto path = unescaped(*mountPoint);
    if (!path || path->empty() || path->front() != '/') {
        return std::nullopt;
    }
    entry.mountPoint = std::move(*path);
    entry.fileSystemType = std::string(*type);
    return entry;
}

std::vector<MountTable::Entry> MountTable::parse(std::string_view text) {
    std::vector<Entry> entries;
    while (!text.empty()) {
        const auto lineFeed = text.find('\n');
        const auto line = text.substr(0, lineFeed);
        text = lineFeed == std::string_view::npos ? std::string_view() : text.substr(lineFeed + 1);
        if (auto entry = parseLine(line)) {
            entries.push_back(std::move(*entry));
        }
    }
    return entries;
}

std::vector<MountTable::Entry> MountTable::readCurrent() {
    const int file = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return {};
    }
    // The kernel produces the table as it is read, so its size is unknown in advance.
    std::string text;
    std::array<char, 16384> buffer{};
    for (;;) {
        const auto count = ::read(file, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        text.append(buffer.data(), static_cast<std::size_t>(count));
    }
    ::close(file);
    return parse(text);
}

bool MountTable::isPseudoFileSystem(std::string_view fileSystemType) {
    constexpr std::array<std::string_view, 18> pseudoTypes{
        "autofs",  "binfmt_misc", "bpf",      "cgroup",     "cgroup2",   "configfs",
        "debugfs", "devpts",      "efivarfs", "fusectl",    "hugetlbfs", "mqueue",
        "nsfs",    "proc",        "pstore",   "securityfs", "sysfs",     "tracefs"};
    return std::find(pseudoTypes.begin(), pseudoTypes.end(), fileSystemType) != pseudoTypes.end();
}
