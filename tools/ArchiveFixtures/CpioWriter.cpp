#include "tools/ArchiveFixtures/CpioWriter.h"

#include "tools/ArchiveFixtures/BigEndianBytes.h"

#include <stdexcept>

namespace {

constexpr std::uint32_t directoryType = 0040000;
constexpr std::uint32_t regularFileType = 0100000;
constexpr std::uint32_t symlinkType = 0120000;
/// 2026-01-01T00:00:00Z, so that archives repeat byte for byte.
constexpr std::uint64_t modificationTime = 1767225600;

/// `value` in octal, zero-padded to `width` digits.
std::string octal(std::uint64_t value, std::size_t width) {
    std::string digits(width, '0');
    for (std::size_t index = width; index > 0 && value > 0; --index) {
        digits[index - 1] = static_cast<char>('0' + (value & 7));
        value >>= 3;
    }
    if (value != 0) {
        throw std::invalid_argument("a cpio header field does not fit its width");
    }
    return digits;
}

void appendEntry(std::vector<std::uint8_t>& bytes, std::uint32_t inode, const std::string& name,
                 std::uint32_t mode, std::string_view contents) {
    std::string header = "070707";
    header.append(octal(0, 6)); // device
    header.append(octal(inode, 6));
    header.append(octal(mode, 6));
    header.append(octal(0, 6)); // user
    header.append(octal(0, 6)); // group
    header.append(octal((mode & 0170000) == directoryType ? 2 : 1, 6));
    header.append(octal(0, 6)); // device of a special file
    header.append(octal(modificationTime, 11));
    header.append(octal(name.size() + 1, 6));
    header.append(octal(contents.size(), 11));
    header.append(name);
    header.push_back('\0');
    BigEndianBytes::appendText(bytes, header);
    BigEndianBytes::appendText(bytes, contents);
}

} // namespace

CpioWriter::CpioWriter() {
    addEntry(".", directoryType | 0755, {});
}

CpioWriter& CpioWriter::addDirectory(const std::string& path, std::uint32_t permissions) {
    return addEntry("./" + path, directoryType | permissions, {});
}

CpioWriter& CpioWriter::addFile(const std::string& path, std::string_view contents,
                                std::uint32_t permissions) {
    return addEntry("./" + path, regularFileType | permissions, contents);
}

CpioWriter& CpioWriter::addSymlink(const std::string& path, const std::string& target) {
    return addEntry("./" + path, symlinkType | 0755, target);
}

CpioWriter& CpioWriter::addEntry(const std::string& name, std::uint32_t mode, std::string_view contents) {
    appendEntry(_entries, _nextInode++, name, mode, contents);
    return *this;
}

std::vector<std::uint8_t> CpioWriter::bytes() const {
    auto archive = _entries;
    appendEntry(archive, 0, "TRAILER!!!", 0, {});
    return archive;
}
