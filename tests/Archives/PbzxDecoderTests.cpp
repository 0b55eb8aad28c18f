#include "Code/Archives/PbzxDecoder.h"
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

void writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct RoundTrip {
    const char* name;
    std::function<Bytes()> stream;
    Bytes expected;
};

class PbzxRoundTrip : public testing::TestWithParam<RoundTrip> {};

TEST_P(PbzxRoundTrip, DecodesToTheOriginalBytesFromMemoryAndFromAFile) {
    const auto& roundTrip = GetParam();
    const Bytes stream = roundTrip.stream();
    EXPECT_EQ(decodeInMemory(stream), roundTrip.expected);

    TemporaryFolder folder;
    writeFile(folder.path() / "Payload", stream);
    const auto decoded =
        PbzxDecoder(generousLimits).decodeFile(folder.path() / "Payload", folder.path() / "out");
    EXPECT_EQ(decoded, roundTrip.expected.size());
    EXPECT_EQ(readFile(folder.path() / "out"), roundTrip.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PbzxRoundTrip,
    testing::Values(
        RoundTrip{"EmptyStream", [] { return PbzxWriter().bytes(); }, {}},
        RoundTrip{"OneCompressedChunk",
                  [] { return PbzxWriter().addCompressedChunk(sampleBytes(5000)).bytes(); },
                  sampleBytes(5000)},
        RoundTrip{"SeveralCompressedChunks", [] { return PbzxWriter::encode(sampleBytes(10000), 3000); },
                  sampleBytes(10000)},
        RoundTrip{"ChunkLargerThanTheDecodersBuffers", [] { return PbzxWriter::encode(sampleBytes(300000)); },
                  sampleBytes(300000)},
        RoundTrip{"StoredChunk", [] { return PbzxWriter().addStoredChunk(sampleBytes(700)).bytes(); },
                  sampleBytes(700)},
        RoundTrip{"StoredChunkLargerThanTheDecodersBuffers",
                  [] { return PbzxWriter().addStoredChunk(sampleBytes(200000)).bytes(); },
                  sampleBytes(200000)},
        RoundTrip{"EmptyStoredChunk", [] { return PbzxWriter().addStoredChunk({}).bytes(); }, {}},
        RoundTrip{"StoredBetweenCompressedChunks",
                  [] {
                      return PbzxWriter()
                          .addCompressedChunk(sampleBytes(4000, 1))
                          .addStoredChunk(sampleBytes(100, 2))
                          .addCompressedChunk(sampleBytes(4000, 3))
                          .bytes();
                  },
                  concatenated({sampleBytes(4000, 1), sampleBytes(100, 2), sampleBytes(4000, 3)})},
        RoundTrip{
            "CompressedChunkOfNothing", [] { return PbzxWriter().addCompressedChunk({}).bytes(); }, {}}),
    [](const testing::TestParamInfo<RoundTrip>& parameter) { return std::string(parameter.param.name); });

Bytes withoutLast(Bytes bytes, std::size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

Bytes withFlippedByte(Bytes bytes, std::size_t offset) {
    bytes.at(offset) ^= 0x55;
    return bytes;
}

/// The stream header (12 bytes) and a chunk header (16 bytes) come before a first chunk's data.
constexpr std::size_t firstChunkData = 28;

struct Hostile {
    const char* name;
    std::function<Bytes()> stream;
    std::string expectedError;
    PbzxDecoder::Limits limits = generousLimits;
};

class PbzxHostileStream : public testing::TestWithParam<Hostile> {};

TEST_P(PbzxHostileStream, FailsWithAClearErrorAndLeavesNoOutputFile) {
    const auto& hostile = GetParam();
    const Bytes stream = hostile.stream();
    const auto inMemory = thrownBy<PbzxDecoder::Error>([&] { decodeInMemory(stream, hostile.limits); });
    ASSERT_TRUE(inMemory);
    EXPECT_THAT(inMemory->errorDescription(), testing::HasSubstr(hostile.expectedError));

    TemporaryFolder folder;
    writeFile(folder.path() / "Payload", stream);
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
    testing::Values(
        Hostile{"Empty", [] { return Bytes{}; }, "not a pbzx stream"},
        Hostile{"BadMagic", [] { return withFlippedByte(PbzxWriter().bytes(), 3); }, "not a pbzx stream"},
        Hostile{"XzInsteadOfPbzx", [] { return PbzxWriter::xz(sampleBytes(100)); }, "not a pbzx stream"},
        Hostile{"TruncatedHeader", [] { return text(std::string_view("pbzx\0\0\0", 7)); },
                "truncated pbzx header"},
        Hostile{"TruncatedChunkHeader",
                [] { return withoutLast(PbzxWriter().addStoredChunk({}).bytes(), 5); },
                "truncated chunk header (chunk 1)"},
        Hostile{"TruncatedStoredChunk",
                [] { return withoutLast(PbzxWriter().addStoredChunk(sampleBytes(100)).bytes(), 40); },
                "truncated chunk (chunk 1 stores 100 bytes; the stream ends after 60)"},
        Hostile{"TruncatedCompressedChunk",
                [] {
                    return withoutLast(PbzxWriter()
                                           .addCompressedChunk(sampleBytes(1000, 1))
                                           .addCompressedChunk(sampleBytes(1000, 2))
                                           .bytes(),
                                       10);
                },
                "truncated chunk (chunk 2"},
        Hostile{"LengthPastTheEnd",
                [] {
                    const auto compressed = PbzxWriter::xz(sampleBytes(1000));
                    return PbzxWriter().addChunk(1000, compressed.size() + 5000, compressed).bytes();
                },
                "truncated chunk (chunk 1"},
        Hostile{"HugeDeclaredLength",
                [] { return PbzxWriter().addChunk(1000, 1ULL << 62, sampleBytes(100)).bytes(); },
                "chunk 1 declares 4611686018427387904 stored bytes, more than the limit of 67108864"},
        Hostile{"HugeDeclaredSize",
                [] {
                    const auto compressed = PbzxWriter::xz(sampleBytes(100));
                    return PbzxWriter().addChunk(~0ULL, compressed.size(), compressed).bytes();
                },
                "more than the limit of 67108864"},
        Hostile{"CorruptedXz",
                [] {
                    const auto stream = PbzxWriter().addCompressedChunk(sampleBytes(5000)).bytes();
                    return withFlippedByte(stream, firstChunkData + (stream.size() - firstChunkData) / 2);
                },
                "damaged xz data (chunk 1"},
        Hostile{"ChunkNeitherXzNorStored",
                [] { return PbzxWriter().addChunk(200, 100, sampleBytes(100)).bytes(); },
                "damaged xz data (chunk 1)"},
        Hostile{"XzStreamCutShortInsideItsChunk",
                [] {
                    auto compressed = PbzxWriter::xz(sampleBytes(1000));
                    compressed.resize(compressed.size() - 8);
                    return PbzxWriter().addChunk(1000, compressed.size(), compressed).bytes();
                },
                "damaged xz data (chunk 1"},
        Hostile{"BytesAfterTheXzStream",
                [] {
                    auto compressed = PbzxWriter::xz(sampleBytes(1000));
                    compressed.push_back(0);
                    return PbzxWriter().addChunk(1000, compressed.size(), compressed).bytes();
                },
                "damaged xz data (chunk 1 holds bytes after its xz stream)"},
        Hostile{"MoreThanTheDeclaredSize",
                [] {
                    const auto compressed = PbzxWriter::xz(sampleBytes(1000));
                    return PbzxWriter().addChunk(999, compressed.size(), compressed).bytes();
                },
                "chunk 1 decodes to more than its declared 999 bytes"},
        Hostile{"OutputLimit",
                [] { return PbzxWriter::encode(sampleBytes(5000), 1000); },
                "output limit of 4500 bytes exceeded",
                {.maximumOutputSize = 4500, .maximumRatio = 1000}},
        Hostile{"StoredOutputLimit",
                [] { return PbzxWriter().addStoredChunk(sampleBytes(101)).bytes(); },
                "output limit of 100 bytes exceeded",
                {.maximumOutputSize = 100, .maximumRatio = 1000}},
        Hostile{"CompressionRatio",
                [] {
                    const Bytes zeros(4 * 1024 * 1024, 0);
                    return PbzxWriter().addCompressedChunk(zeros).bytes();
                },
                "compression ratio limit of 100 exceeded",
                {.maximumOutputSize = 1ULL << 32, .maximumRatio = 100}},
        Hostile{"DecoderMemory",
                [] { return PbzxWriter().addCompressedChunk(sampleBytes(100)).bytes(); },
                "chunk 1 needs more than 4096 bytes of memory to decode",
                {.maximumOutputSize = 1ULL << 32, .maximumRatio = 1000, .decoderMemoryLimit = 4096}}),
    [](const testing::TestParamInfo<Hostile>& parameter) { return std::string(parameter.param.name); });

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
