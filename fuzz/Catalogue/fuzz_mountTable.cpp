// Any bytes as a mount table: no crash, no exception, every entry's mount point absolute and
// free of NUL bytes, and a line parsed alone gives what it gave within the table.

#include "Code/Catalogue/MountTable.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : MountTable::parse(text)) {
        if (entry.mountPoint.empty() || entry.mountPoint.front() != '/' ||
            entry.mountPoint.find('\0') != std::string::npos || entry.fileSystemType.empty()) {
            std::abort();
        }
    }
    const auto firstLine = text.substr(0, text.find('\n'));
    const auto alone = MountTable::parseLine(firstLine);
    const auto all = MountTable::parse(firstLine);
    if (alone.has_value() != !all.empty() || (alone && !(*alone == all.front()))) {
        std::abort();
    }
    return 0;
}
