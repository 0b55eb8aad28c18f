#include "ZRFoundation/Image/ZRIconFile.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

void appendBigEndian32(Bytes& bytes, std::uint64_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift & 0xFF));
    }
}

// The start of a PNG: signature and IHDR chunk with the given size, plus a marker byte.
Bytes png(std::uint32_t width, std::uint32_t height, std::uint8_t marker) {
    Bytes bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendBigEndian32(bytes, 13);
    bytes.insert(bytes.end(), {'I', 'H', 'D', 'R'});
    appendBigEndian32(bytes, width);
    appendBigEndian32(bytes, height);
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0, marker});
    return bytes;
}

Bytes entry(const char* type, const Bytes& data) {
    Bytes bytes(type, type + 4);
    appendBigEndian32(bytes, data.size() + 8);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

Bytes iconFile(const std::vector<Bytes>& entries) {
    Bytes body;
    for (const auto& one : entries) {
        body.insert(body.end(), one.begin(), one.end());
    }
    Bytes bytes{'i', 'c', 'n', 's'};
    appendBigEndian32(bytes, body.size() + 8);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

TEST(ZRIconFile, PicksThePNGClosestToTheSize) {
    const auto file = iconFile({entry("ic08", png(256, 256, 1)), entry("is32", Bytes(100, 7)),
                                entry("ic11", png(64, 64, 2)), entry("ic07", png(120, 120, 3))});
    const auto entries = ZRIconFile::pngEntries(file);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].type, "ic11");
    EXPECT_EQ(entries[1].width, 64u);
    EXPECT_EQ(ZRIconFile::pngClosestToSize(file, 128)->back(), 3);
    EXPECT_EQ(ZRIconFile::pngClosestToSize(file, 1000)->back(), 1);
    // On a tie the larger image wins: it scales down without blurring.
    const auto tie = iconFile({entry("ic11", png(96, 96, 4)), entry("ic07", png(160, 160, 5))});
    EXPECT_EQ(ZRIconFile::pngClosestToSize(tie, 128)->back(), 5);
}

TEST(ZRIconFile, DamagedFilesYieldWhatIsIntact) {
    const auto good = entry("ic07", png(128, 128, 9));
    auto file = iconFile({good, entry("ic08", png(256, 256, 8))});
    // Cut into the second entry: only the first remains.
    file.resize(file.size() - 3);
    EXPECT_EQ(ZRIconFile::pngEntries(file).size(), 1u);
    // An entry length smaller than its header, or larger than the file, ends the walk.
    for (const std::uint64_t length : {std::uint64_t{0}, std::uint64_t{7}, std::uint64_t{0xFFFFFFFF}}) {
        auto bad = iconFile({good, entry("ic08", png(256, 256, 8))});
        const std::size_t lengthOffset = 8 + good.size() + 4;
        for (int index = 0; index < 4; ++index) {
            bad[lengthOffset + index] = static_cast<std::uint8_t>(length >> (24 - 8 * index) & 0xFF);
        }
        EXPECT_EQ(ZRIconFile::pngEntries(bad).size(), 1u) << length;
    }
    // The declared file length hides what follows it.
    auto declaredShort = iconFile({good, entry("ic08", png(256, 256, 8))});
    declaredShort[7] = static_cast<std::uint8_t>(8 + good.size());
    declaredShort[6] = 0;
    EXPECT_EQ(ZRIconFile::pngEntries(declaredShort).size(), 1u);
    // A truncated PNG header is not a PNG.
    const auto full = png(1, 1, 0);
    const Bytes truncated(full.begin(), full.begin() + 20);
    EXPECT_TRUE(ZRIconFile::pngEntries(iconFile({entry("ic07", truncated)})).empty());
    for (const Bytes& notAnIconFile : {Bytes{}, Bytes{'i', 'c', 'n'}, Bytes{'i', 'c', 'n', 's', 0, 0, 0, 4},
                                       Bytes{'I', 'C', 'N', 'S', 0, 0, 0, 8}}) {
        EXPECT_TRUE(ZRIconFile::pngEntries(notAnIconFile).empty());
        EXPECT_FALSE(ZRIconFile::pngClosestToSize(notAnIconFile, 128));
    }
}

} // namespace
