#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

/// Writes UDIF disk images for tests: a volume's sectors cut into chunks (the data fork), an XML
/// property list with one `blkx` entry whose `mish` table lists the chunks, and the 512-byte
/// `koly` trailer. Checksums are of type 0 (none).
class UDIFWriter {
public:
    enum class ChunkType : std::uint32_t {
        raw = 0x00000001,
        zeroFill = 0x00000002,
        zlib = 0x80000005,
        bzip2 = 0x80000006,
    };

    /// One entry of the `mish` table. Offsets count from the start of the data fork.
    struct Chunk {
        ChunkType type;
        std::uint64_t firstSector;
        std::uint64_t sectorCount;
        std::uint64_t compressedOffset;
        std::uint64_t compressedLength;
    };

    static constexpr std::uint64_t sectorSize = 512;
    static constexpr std::size_t trailerSize = 512;

    /// Cuts `volume` (padded with zeros to whole sectors) into chunks of `sectorsPerChunk`
    /// sectors. The chunks holding data take the types of `dataChunkTypes` in turn; a chunk of
    /// zeros only is a zero-fill chunk when `zeroRunsAsZeroFill`, and takes the next type
    /// otherwise.
    explicit UDIFWriter(std::span<const std::uint8_t> volume,
                        std::vector<ChunkType> dataChunkTypes = {ChunkType::zlib},
                        std::uint64_t sectorsPerChunk = 2048, bool zeroRunsAsZeroFill = true);

    /// The chunk table, which a test may edit (to point a chunk past the data fork, say) before
    /// calling `bytes()`.
    std::vector<Chunk>& chunks() { return _chunks; }
    const std::vector<Chunk>& chunks() const { return _chunks; }
    const std::vector<std::uint8_t>& dataFork() const { return _dataFork; }
    std::uint64_t sectorCount() const { return _sectorCount; }

    /// The whole image: data fork, property list, trailer.
    std::vector<std::uint8_t> bytes() const;
    void write(const std::filesystem::path& path) const;

    /// The `mish` table of the chunks.
    std::vector<std::uint8_t> blockTable() const;

    /// An HFS+ volume named `volumeName` holding the contents of `folder`, made by xorriso as a
    /// hybrid ISO image in `workFolder`; returns the bytes from the start of its Apple_HFS
    /// partition to the end of the image, where the volume's file data lies.
    static std::vector<std::uint8_t> hfsVolumeFromFolder(const std::filesystem::path& folder,
                                                         const std::string& volumeName,
                                                         const std::filesystem::path& workFolder);

private:
    void addChunk(ChunkType type, std::span<const std::uint8_t> sectors, std::uint64_t firstSector);

    std::vector<std::uint8_t> _dataFork;
    std::vector<Chunk> _chunks;
    std::uint64_t _sectorCount = 0;
};
