#include "tools/ArchiveFixtures/UDIFWriter.h"

#include "ZRFoundation/Text/ZRBase64.h"
#include "tools/ArchiveFixtures/BigEndianBytes.h"
#include "tools/ArchiveFixtures/FixtureCommand.h"
#include "tools/ArchiveFixtures/FixtureCompression.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <bzlib.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t endOfTable = 0xFFFFFFFF;

Bytes bzip2Compressed(std::span<const std::uint8_t> bytes) {
    Bytes compressed(bytes.size() + bytes.size() / 100 + 600);
    auto length = static_cast<unsigned int>(compressed.size());
    // bzlib's buffer function takes non-const pointers but does not write through the source.
    if (BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(compressed.data()), &length,
                                 const_cast<char*>(reinterpret_cast<const char*>(bytes.data())),
                                 static_cast<unsigned int>(bytes.size()), 9, 0, 0) != BZ_OK) {
        throw std::runtime_error("bzip2 compression failed");
    }
    compressed.resize(length);
    return compressed;
}

/// A checksum field: type 0 (none), size 0, 128 bytes of zeros.
void appendNoChecksum(Bytes& bytes) {
    BigEndianBytes::append32(bytes, 0);
    BigEndianBytes::append32(bytes, 0);
    bytes.insert(bytes.end(), 128, 0);
}

std::string propertyList(const Bytes& blockTable) {
    std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>resource-fork</key>
	<dict>
		<key>blkx</key>
		<array>
			<dict>
				<key>Attributes</key>
				<string>0x0050</string>
				<key>CFName</key>
				<string>disk image (Apple_HFS : 0)</string>
				<key>Data</key>
				<data>)";
    text.append(ZRBase64::encode(blockTable));
    text.append(R"(</data>
				<key>ID</key>
				<string>0</string>
				<key>Name</key>
				<string>disk image (Apple_HFS : 0)</string>
			</dict>
		</array>
	</dict>
</dict>
</plist>
)");
    return text;
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

UDIFWriter::UDIFWriter(std::span<const std::uint8_t> volume, std::vector<ChunkType> dataChunkTypes,
                       std::uint64_t sectorsPerChunk, bool zeroRunsAsZeroFill) {
    if (dataChunkTypes.empty() || sectorsPerChunk == 0) {
        throw std::invalid_argument("a disk image needs chunk types and a chunk size");
    }
    Bytes padded(volume.begin(), volume.end());
    padded.resize((padded.size() + sectorSize - 1) / sectorSize * sectorSize, 0);
    _sectorCount = padded.size() / sectorSize;
    const std::size_t chunkBytes = sectorsPerChunk * sectorSize;
    std::size_t nextType = 0;
    for (std::size_t offset = 0; offset < padded.size(); offset += chunkBytes) {
        const auto sectors = std::span<const std::uint8_t>(padded).subspan(
            offset, std::min(chunkBytes, padded.size() - offset));
        const bool zeros =
            std::all_of(sectors.begin(), sectors.end(), [](std::uint8_t byte) { return byte == 0; });
        if (zeros && zeroRunsAsZeroFill) {
            addChunk(ChunkType::zeroFill, sectors, offset / sectorSize);
        } else {
            addChunk(dataChunkTypes[nextType++ % dataChunkTypes.size()], sectors, offset / sectorSize);
        }
    }
}

void UDIFWriter::addChunk(ChunkType type, std::span<const std::uint8_t> sectors, std::uint64_t firstSector) {
    Bytes stored;
    switch (type) {
    case ChunkType::raw:
        stored.assign(sectors.begin(), sectors.end());
        break;
    case ChunkType::zeroFill:
        break;
    case ChunkType::zlib:
        stored = FixtureCompression::zlibCompressed(sectors);
        break;
    case ChunkType::bzip2:
        stored = bzip2Compressed(sectors);
        break;
    }
    _chunks.push_back({type, firstSector, sectors.size() / sectorSize, _dataFork.size(), stored.size()});
    BigEndianBytes::appendBytes(_dataFork, stored);
}

std::vector<std::uint8_t> UDIFWriter::blockTable() const {
    std::uint64_t largestChunk = 0;
    for (const auto& chunk : _chunks) {
        largestChunk = std::max(largestChunk, chunk.sectorCount);
    }
    Bytes table;
    BigEndianBytes::appendText(table, "mish");
    BigEndianBytes::append32(table, 1);
    BigEndianBytes::append64(table, 0);            // first sector
    BigEndianBytes::append64(table, _sectorCount); // sector count
    BigEndianBytes::append64(table, 0);            // data offset
    BigEndianBytes::append32(table, static_cast<std::uint32_t>(largestChunk));
    BigEndianBytes::append32(table, 0); // block descriptors
    table.insert(table.end(), 24, 0);
    appendNoChecksum(table);
    BigEndianBytes::append32(table, static_cast<std::uint32_t>(_chunks.size() + 1));
    const auto appendChunk = [&table](std::uint32_t type, std::uint64_t firstSector,
                                      std::uint64_t sectorCount, std::uint64_t offset, std::uint64_t length) {
        BigEndianBytes::append32(table, type);
        BigEndianBytes::append32(table, 0); // comment
        BigEndianBytes::append64(table, firstSector);
        BigEndianBytes::append64(table, sectorCount);
        BigEndianBytes::append64(table, offset);
        BigEndianBytes::append64(table, length);
    };
    for (const auto& chunk : _chunks) {
        appendChunk(static_cast<std::uint32_t>(chunk.type), chunk.firstSector, chunk.sectorCount,
                    chunk.compressedOffset, chunk.compressedLength);
    }
    appendChunk(endOfTable, _sectorCount, 0, _dataFork.size(), 0);
    return table;
}

std::vector<std::uint8_t> UDIFWriter::bytes() const {
    Bytes image = _dataFork;
    const std::string plist = propertyList(blockTable());
    const std::uint64_t plistOffset = image.size();
    BigEndianBytes::appendText(image, plist);

    const std::size_t trailerStart = image.size();
    BigEndianBytes::appendText(image, "koly");
    BigEndianBytes::append32(image, 4);   // version
    BigEndianBytes::append32(image, 512); // header size
    BigEndianBytes::append32(image, 1);   // flags
    BigEndianBytes::append64(image, 0);   // running data fork offset
    BigEndianBytes::append64(image, 0);   // data fork offset
    BigEndianBytes::append64(image, _dataFork.size());
    BigEndianBytes::append64(image, 0); // resource fork offset
    BigEndianBytes::append64(image, 0); // resource fork length
    BigEndianBytes::append32(image, 1); // segment number
    BigEndianBytes::append32(image, 1); // segment count
    for (std::uint8_t index = 0; index < 16; ++index) {
        image.push_back(static_cast<std::uint8_t>(0x10 + index)); // segment ID
    }
    appendNoChecksum(image); // data fork checksum
    BigEndianBytes::append64(image, plistOffset);
    BigEndianBytes::append64(image, plist.size());
    image.insert(image.end(), 120, 0);
    appendNoChecksum(image);            // master checksum
    BigEndianBytes::append32(image, 1); // image variant
    BigEndianBytes::append64(image, _sectorCount);
    image.insert(image.end(), 12, 0);
    if (image.size() - trailerStart != trailerSize) {
        throw std::logic_error("the disk image trailer is not 512 bytes long");
    }
    return image;
}

void UDIFWriter::write(const std::filesystem::path& path) const {
    const Bytes image = bytes();
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::uint8_t> UDIFWriter::hfsVolumeFromFolder(const std::filesystem::path& folder,
                                                          const std::string& volumeName,
                                                          const std::filesystem::path& workFolder) {
    const auto iso = workFolder / (volumeName + ".iso");
    const auto result = FixtureCommand::run(
        {"xorriso", "-as", "mkisofs", "-hfsplus", "-V", volumeName, "-o", iso.string(), folder.string()});
    if (result.exitCode != 0) {
        throw std::runtime_error("xorriso failed: " + result.output);
    }
    const Bytes image = readFile(iso);
    // The driver descriptor ("ER") in block 0 gives the map's block size; the partition map's
    // entries ("PM") follow, one per block.
    std::uint64_t blockSize = 512;
    if (image.size() >= 4 && image[0] == 'E' && image[1] == 'R') {
        blockSize = BigEndianBytes::read(image, 2, 2);
    }
    for (std::uint64_t entry = blockSize; blockSize > 0 && entry + 80 <= image.size(); entry += blockSize) {
        if (image[entry] != 'P' || image[entry + 1] != 'M') {
            break;
        }
        const std::string type(reinterpret_cast<const char*>(image.data() + entry + 48), 32);
        if (type.starts_with("Apple_HFS")) {
            const std::uint64_t start = BigEndianBytes::read(image, entry + 8, 4) * blockSize;
            if (start >= image.size()) {
                break;
            }
            return {image.begin() + static_cast<std::ptrdiff_t>(start), image.end()};
        }
    }
    throw std::runtime_error("xorriso's image has no Apple_HFS partition");
}
