#include "ZRFoundation/Bytes/ZRByteReader.h"

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

namespace {

constexpr std::uint64_t maximum = std::numeric_limits<std::uint64_t>::max();

TEST(ZRByteReader, ReadsBigEndianValuesAndStopsAtTheEnd) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    ZRByteReader reader(bytes);
    EXPECT_EQ(reader.readBigEndian(2), 0x0102U);
    EXPECT_EQ(reader.readBigEndian(4), std::nullopt);
    EXPECT_EQ(reader.position(), 2U);
    EXPECT_EQ(reader.readBigEndian(3), 0x030405U);
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.readUInt8(), std::nullopt);
    EXPECT_EQ(reader.peekUInt8(), std::nullopt);
    EXPECT_EQ(reader.readBigEndian(0), std::nullopt);
    EXPECT_TRUE(reader.seek(0));
    EXPECT_EQ(reader.readBigEndian(9), std::nullopt);
}

TEST(ZRByteReader, RangeChecksDoNotOverflow) {
    const std::uint8_t bytes[] = {1, 2, 3, 4};
    ZRByteReader reader(bytes);
    EXPECT_TRUE(reader.contains(4, 0));
    EXPECT_TRUE(reader.contains(1, 3));
    EXPECT_FALSE(reader.contains(1, 4));
    EXPECT_FALSE(reader.contains(2, maximum));
    EXPECT_FALSE(reader.contains(maximum, 2));
    EXPECT_FALSE(reader.bytesAt(maximum - 1, 4));
    EXPECT_FALSE(reader.seek(5));
    EXPECT_TRUE(reader.skip(3));
    EXPECT_FALSE(reader.skip(maximum));
    EXPECT_FALSE(reader.readBytes(maximum));
    EXPECT_EQ(reader.position(), 3U);
    EXPECT_EQ(reader.readBytes(1)->front(), 4);
}

} // namespace
