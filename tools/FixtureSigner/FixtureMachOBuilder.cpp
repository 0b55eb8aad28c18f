#include "tools/FixtureSigner/FixtureMachOBuilder.h"

#include <cstring>

namespace {

constexpr std::uint64_t pageSize = 0x4000;
constexpr std::uint32_t commandSegment64 = 0x19;
constexpr std::uint32_t commandCodeSignature = 0x1d;

std::uint64_t alignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

/// Little-endian writer (both supported architectures are little-endian).
struct Writer {
    std::vector<std::uint8_t>& bytes;

    void u32(std::uint64_t offset, std::uint32_t value) {
        for (int index = 0; index < 4; ++index) {
            bytes[offset + index] = static_cast<std::uint8_t>(value >> (8 * index));
        }
    }
    void u64(std::uint64_t offset, std::uint64_t value) {
        for (int index = 0; index < 8; ++index) {
            bytes[offset + index] = static_cast<std::uint8_t>(value >> (8 * index));
        }
    }
    void name(std::uint64_t offset, const char* text) {
        std::memcpy(bytes.data() + offset, text, std::strlen(text));
    }
};

struct Section {
    const char* name;
    std::uint64_t offset;
    std::uint64_t size;
};

std::uint64_t writeSegment(Writer& writer, std::uint64_t at, const char* name, std::uint64_t vmAddress,
                           std::uint64_t vmSize, std::uint64_t fileOffset, std::uint64_t fileSize,
                           const std::vector<Section>& sections, std::uint32_t protection) {
    const std::uint64_t size = 72 + 80 * sections.size();
    writer.u32(at, commandSegment64);
    writer.u32(at + 4, static_cast<std::uint32_t>(size));
    writer.name(at + 8, name);
    writer.u64(at + 24, vmAddress);
    writer.u64(at + 32, vmSize);
    writer.u64(at + 40, fileOffset);
    writer.u64(at + 48, fileSize);
    writer.u32(at + 56, protection);
    writer.u32(at + 60, protection);
    writer.u32(at + 64, static_cast<std::uint32_t>(sections.size()));
    for (std::size_t index = 0; index < sections.size(); ++index) {
        const std::uint64_t section = at + 72 + 80 * index;
        writer.name(section, sections[index].name);
        writer.name(section + 16, name);
        writer.u64(section + 32, vmAddress + sections[index].offset);
        writer.u64(section + 40, sections[index].size);
        writer.u32(section + 48, static_cast<std::uint32_t>(sections[index].offset));
    }
    return at + size;
}

} // namespace

FixtureMachOBuilder::Layout FixtureMachOBuilder::build(const Executable& executable,
                                                       std::uint32_t signatureSize) {
    const bool withPlist = executable.infoPlist.has_value();
    const std::uint64_t commandsSize =
        72 + (72 + 80 * (withPlist ? 2 : 1)) + 72 + (signatureSize > 0 ? 16 : 0);
    const std::uint64_t commandCount = 3 + (signatureSize > 0 ? 1 : 0);
    Layout layout;
    layout.codeOffset = alignUp(32 + commandsSize, 16);
    std::uint64_t textEnd = layout.codeOffset + executable.codeSize;
    if (withPlist) {
        layout.infoPlistOffset = alignUp(textEnd, 16);
        layout.infoPlistSize = executable.infoPlist->size();
        textEnd = *layout.infoPlistOffset + layout.infoPlistSize;
    }
    layout.textSegmentSize = alignUp(textEnd, pageSize);
    const std::uint64_t linkEditOffset = layout.textSegmentSize;
    // Some __LINKEDIT content before the signature, as a linker leaves symbol tables there.
    layout.signatureOffset = linkEditOffset + 64;
    const std::uint64_t fileSize = layout.signatureOffset + signatureSize;
    layout.bytes.assign(fileSize, 0);

    Writer writer{layout.bytes};
    const bool arm = executable.architecture == Architecture::arm64;
    writer.u32(0, 0xfeedfacf);
    writer.u32(4, arm ? 0x0100000c : 0x01000007);
    writer.u32(8, arm ? 0 : 3);
    writer.u32(12, 2); // MH_EXECUTE
    writer.u32(16, static_cast<std::uint32_t>(commandCount));
    writer.u32(20, static_cast<std::uint32_t>(commandsSize));
    writer.u32(24, 0x00200085);

    constexpr std::uint64_t textAddress = 0x100000000;
    std::uint64_t at = 32;
    at = writeSegment(writer, at, "__PAGEZERO", 0, textAddress, 0, 0, {}, 0);
    std::vector<Section> sections{{"__text", layout.codeOffset, executable.codeSize}};
    if (withPlist) {
        sections.push_back({"__info_plist", *layout.infoPlistOffset, layout.infoPlistSize});
    }
    at = writeSegment(writer, at, "__TEXT", textAddress, layout.textSegmentSize, 0, layout.textSegmentSize,
                      sections, 5);
    at = writeSegment(writer, at, "__LINKEDIT", textAddress + layout.textSegmentSize,
                      alignUp(fileSize - linkEditOffset, pageSize), linkEditOffset, fileSize - linkEditOffset,
                      {}, 1);
    if (signatureSize > 0) {
        writer.u32(at, commandCodeSignature);
        writer.u32(at + 4, 16);
        writer.u32(at + 8, static_cast<std::uint32_t>(layout.signatureOffset));
        writer.u32(at + 12, signatureSize);
    }

    std::uint32_t state = executable.seed * 2654435761u + 1;
    for (std::uint64_t index = 0; index < executable.codeSize; ++index) {
        state = state * 1664525u + 1013904223u;
        layout.bytes[layout.codeOffset + index] = static_cast<std::uint8_t>(state >> 24);
    }
    if (withPlist) {
        std::memcpy(layout.bytes.data() + *layout.infoPlistOffset, executable.infoPlist->data(),
                    layout.infoPlistSize);
    }
    for (std::uint64_t index = linkEditOffset; index < layout.signatureOffset; ++index) {
        layout.bytes[index] = static_cast<std::uint8_t>(index);
    }
    return layout;
}

std::vector<std::uint8_t>
FixtureMachOBuilder::universal(const std::vector<std::vector<std::uint8_t>>& slices) {
    constexpr std::uint32_t alignmentShift = 14;
    std::vector<std::uint8_t> bytes(8 + 20 * slices.size(), 0);
    auto bigEndian = [&](std::uint64_t offset, std::uint32_t value) {
        for (int index = 0; index < 4; ++index) {
            bytes[offset + index] = static_cast<std::uint8_t>(value >> (24 - 8 * index));
        }
    };
    bigEndian(0, 0xcafebabe);
    bigEndian(4, static_cast<std::uint32_t>(slices.size()));
    for (std::size_t index = 0; index < slices.size(); ++index) {
        const auto& slice = slices[index];
        const std::uint64_t offset = alignUp(bytes.size(), std::uint64_t{1} << alignmentShift);
        bytes.resize(offset, 0);
        auto littleEndian = [&](std::uint64_t at) {
            return static_cast<std::uint32_t>(slice[at] | slice[at + 1] << 8 | slice[at + 2] << 16 |
                                              slice[at + 3] << 24);
        };
        const std::uint64_t entry = 8 + 20 * index;
        bigEndian(entry, littleEndian(4));
        bigEndian(entry + 4, littleEndian(8));
        bigEndian(entry + 8, static_cast<std::uint32_t>(offset));
        bigEndian(entry + 12, static_cast<std::uint32_t>(slice.size()));
        bigEndian(entry + 16, alignmentShift);
        bytes.insert(bytes.end(), slice.begin(), slice.end());
    }
    return bytes;
}
