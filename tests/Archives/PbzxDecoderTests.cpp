#include "Code/Archives/PbzxDecoder.h"
#include "SevenZipFixtures.h"
#include "Support/TemporaryFolder.h"
#include "Support/Thrown.h"
#include "tools/ArchiveFixtures/PbzxWriter.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr PbzxDecoder::Limits generousLimits{.maximumOutputSize = 1ULL << 32, .maximumRatio = 1ULL << 20};

/// Text-like bytes that compress, but not to nothing.
Bytes sampleBytes(std::size_t count, std::uint8_t seed = 1) {
    Bytes bytes(count);
    std::uint32_t state = seed;
    for (auto& byte : bytes) {
        state = state * 1103515245 + 12345;
        byte = static_cast<std::uint8_t>('a' + (state >> 16) % 8);
    }
    return bytes;
}

Bytes concatenated(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

Bytes decodeInMemory(const Bytes& stream, PbzxDecoder::Limits limits = generousLimits) {
    Bytes output;
    PbzxDecoder(limits).decode(stream, [&output](std::span<const std::uint8_t> piece) {
        output.insert(output.end(), piece.begin(), piece.end());
    });
    return output;
}

Bytes readBytes(const std::filesystem::path& path) {
    const auto text = SevenZipFixtures::readFile(path);
    return {text.begin(), text.end()};
}

struct RoundTrip {
    const char* name;
    Bytes stream;
    Bytes expected;
};

class PbzxRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(PbzxRoundTrip, DecodesToTheOriginalBytesFromMemoryAndFromAFile) {
    const auto& roundTrip = GetParam();
    const Bytes& stream = roundTrip.stream;
    EXPECT_EQ(decodeInMemory(stream), roundTrip.expected);

    TemporaryFolder folder;
    SevenZipFixtures::writeBytes(folder.path() / "Payload", stream);
    const auto decoded =
        PbzxDecoder(generousLimits).decodeFile(folder.path() / "Payload", folder.path() / "out");
    EXPECT_EQ(decoded, roundTrip.expected.size());
    EXPECT_EQ(readBytes(folder.path() / "out"), roundTrip.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PbzxRoundTrip,
    testing::ValuesIn(std::vector<RoundTrip>{
        {"EmptyStream", PbzxWriter().bytes(), {}},
        {"OneCompressedChunk", PbzxWriter().addCompressedChunk(sampleBytes(5000)).bytes(), sampleBytes(5000)},
        {"SeveralCompressedChunks", PbzxWriter::encode(sampleBytes(10000), 3000), sampleBytes(10000)},
        {"ChunkLargerThanTheDecodersBuffers", PbzxWriter::encode(sampleBytes(300000)), sampleBytes(300000)},
        {"StoredChunk", PbzxWriter().addStoredChunk(sampleBytes(700)).bytes(), sampleBytes(700)},
        {"StoredChunkLargerThanTheDecodersBuffers", PbzxWriter().addStoredChunk(sampleBytes(200000)).bytes(),
         sampleBytes(200000)},
        {"EmptyStoredChunk", PbzxWriter().addStoredChunk({}).bytes(), {}},
        {"StoredBetweenCompressedChunks",
         PbzxWriter()
             .addCompressedChunk(sampleBytes(4000, 1))
             .addStoredChunk(sampleBytes(100, 2))
             .addCompressedChunk(sampleBytes(4000, 3))
             .bytes(),
         concatenated({sampleBytes(4000, 1), sampleBytes(100, 2), sampleBytes(4000, 3)})},
        {"CompressedChunkOfNothing", PbzxWriter().addCompressedChunk({}).bytes(), {}}}),
    caseName);

Bytes withoutLast(Bytes bytes, std::size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

Bytes withFlippedByte(Bytes bytes, std::size_t offset) {
    bytes.at(offset) ^= 0x55;
    return bytes;
}

/// A stream of one chunk holding `data`, declaring `size` decoded bytes and `extraLength` more stored
/// bytes than `data` has.
Bytes chunkOf(const Bytes& data, std::uint64_t size = 1000, std::uint64_t extraLength = 0) {
    return PbzxWriter().addChunk(size, data.size() + extraLength, data).bytes();
}

Bytes xzOf(std::size_t count) {
    return PbzxWriter::xz(sampleBytes(count));
}

struct Hostile {
    const char* name;
    Bytes stream;
    std::string expectedError;
    PbzxDecoder::Limits limits = generousLimits;
};

class PbzxHostileStream : public testing::TestWithParam<Hostile> {};

TEST_P(PbzxHostileStream, FailsWithAClearErrorAndLeavesNoOutputFile) {
    const auto& hostile = GetParam();
    const Bytes& stream = hostile.stream;
    const auto inMemory = thrownBy<PbzxDecoder::Error>([&] { decodeInMemory(stream, hostile.limits); });
    ASSERT_TRUE(inMemory);
    EXPECT_THAT(inMemory->errorDescription(), testing::HasSubstr(hostile.expectedError));

    TemporaryFolder folder;
    SevenZipFixtures::writeBytes(folder.path() / "Payload", stream);
    const auto fromFile = thrownBy<PbzxDecoder::Error>(
        [&] { PbzxDecoder(hostile.limits).decodeFile(folder.path() / "Payload", folder.path() / "out"); });
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(fromFile->errorDescription(), inMemory->errorDescription());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "out"));
}

Bytes text(std::string_view characters) {
    return {characters.begin(), characters.end()};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PbzxHostileStream,
    testing::ValuesIn(std::vector<Hostile>{
        {"Empty", {}, "not a pbzx stream"},
        {"BadMagic", withFlippedByte(PbzxWriter().bytes(), 3), "not a pbzx stream"},
        {"XzInsteadOfPbzx", xzOf(100), "not a pbzx stream"},
        {"TruncatedHeader", text(std::string_view("pbzx\0\0\0", 7)), "truncated pbzx header"},
        {"TruncatedChunkHeader", withoutLast(PbzxWriter().addStoredChunk({}).bytes(), 5),
         "truncated chunk header (chunk 1)"},
        {"TruncatedStoredChunk", withoutLast(PbzxWriter().addStoredChunk(sampleBytes(100)).bytes(), 40),
         "truncated chunk (chunk 1 stores 100 bytes; the stream ends after 60)"},
        {"TruncatedCompressedChunk",
         withoutLast(PbzxWriter()
                         .addCompressedChunk(sampleBytes(1000, 1))
                         .addCompressedChunk(sampleBytes(1000, 2))
                         .bytes(),
                     10),
         "truncated chunk (chunk 2"},
        {"LengthPastTheEnd", chunkOf(xzOf(1000), 1000, 5000), "truncated chunk (chunk 1"},
        {"HugeDeclaredLength", PbzxWriter().addChunk(1000, 1ULL << 62, sampleBytes(100)).bytes(),
         "chunk 1 declares 4611686018427387904 stored bytes, more than the limit of 67108864"},
        {"HugeDeclaredSize", chunkOf(xzOf(100), ~0ULL), "more than the limit of 67108864"},
        {"CorruptedXz", chunkOf(withFlippedByte(xzOf(5000), xzOf(5000).size() / 2), 5000),
         "damaged xz data (chunk 1"},
        {"ChunkNeitherXzNorStored", PbzxWriter().addChunk(200, 100, sampleBytes(100)).bytes(),
         "damaged xz data (chunk 1)"},
        {"XzStreamCutShortInsideItsChunk", chunkOf(withoutLast(xzOf(1000), 8)), "damaged xz data (chunk 1"},
        {"BytesAfterTheXzStream", chunkOf(concatenated({xzOf(1000), {0}})),
         "damaged xz data (chunk 1 holds bytes after its xz stream)"},
        {"MoreThanTheDeclaredSize", chunkOf(xzOf(1000), 999),
         "chunk 1 decodes to more than its declared 999 bytes"},
        {"OutputLimit",
         PbzxWriter::encode(sampleBytes(5000), 1000),
         "output limit of 4500 bytes exceeded",
         {.maximumOutputSize = 4500, .maximumRatio = 1000}},
        {"StoredOutputLimit",
         PbzxWriter().addStoredChunk(sampleBytes(101)).bytes(),
         "output limit of 100 bytes exceeded",
         {.maximumOutputSize = 100, .maximumRatio = 1000}},
        {"CompressionRatio",
         PbzxWriter().addCompressedChunk(Bytes(4 << 20, 0)).bytes(),
         "compression ratio limit of 100 exceeded",
         {.maximumOutputSize = 1ULL << 32, .maximumRatio = 100}},
        {"DecoderMemory",
         PbzxWriter().addCompressedChunk(sampleBytes(100)).bytes(),
         "chunk 1 needs more than 4096 bytes of memory to decode",
         {.maximumOutputSize = 1ULL << 32, .maximumRatio = 1000, .decoderMemoryLimit = 4096}}}),
    caseName);

TEST(PbzxDecoder, DecodesFromAPipeToAPipe) {
    const Bytes original = sampleBytes(20000);
    const Bytes stream = PbzxWriter::encode(original, 8000);
    int input[2];
    int output[2];
    ASSERT_EQ(::pipe(input), 0);
    ASSERT_EQ(::pipe(output), 0);
    Bytes decoded;
    // The output pipe is drained by a second thread, since the decoded bytes outgrow its buffer.
    std::thread reader([&decoded, descriptor = output[0]] {
        std::uint8_t buffer[4096];
        ssize_t count;
        while ((count = ::read(descriptor, buffer, sizeof buffer)) > 0) {
            decoded.insert(decoded.end(), buffer, buffer + count);
        }
    });
    ASSERT_EQ(::write(input[1], stream.data(), stream.size()), static_cast<ssize_t>(stream.size()));
    ::close(input[1]);
    EXPECT_EQ(PbzxDecoder(generousLimits).decode(input[0], output[1]), original.size());
    ::close(output[1]);
    reader.join();
    ::close(input[0]);
    ::close(output[0]);
    EXPECT_EQ(decoded, original);
}

TEST(PbzxDecoder, NamesAnInputItCannotOpen) {
    TemporaryFolder folder;
    const auto error = thrownBy<PbzxDecoder::Error>(
        [&] { PbzxDecoder(generousLimits).decodeFile(folder.path() / "missing", folder.path() / "out"); });
    ASSERT_TRUE(error);
    EXPECT_THAT(error->errorDescription(),
                testing::StartsWith("cannot open " + (folder.path() / "missing").string()));
}

} // namespace
