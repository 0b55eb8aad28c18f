#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRByteView.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMachOFormat.h"

#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace CodeSigningFixtures;
using Architecture = FixtureMachOBuilder::Architecture;

constexpr auto big = ZRByteView::ByteOrder::Big;
constexpr auto little = ZRByteView::ByteOrder::Little;

/// Puts `value` as `width` bytes at `offset` in the given order, independently of the view.
void put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint64_t value,
         ZRByteView::ByteOrder order, unsigned width = 4) {
    for (unsigned index = 0; index < width; ++index) {
        const unsigned shift = 8 * (order == big ? width - 1 - index : index);
        bytes[offset + index] = static_cast<std::uint8_t>(value >> shift);
    }
}

std::string failure(const std::vector<std::uint8_t>& bytes) {
    const auto parsed = ZRMachOFile::parse(bytes);
    return parsed ? std::string() : parsed.error().description;
}

TEST(ByteView, ReadsBothByteOrdersAndRefusesToOverrun) {
    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7, 8};
    const ZRByteView view(bytes);
    EXPECT_EQ(view.u32(0), 0x01020304U);
    EXPECT_EQ(ZRByteView(bytes, little).u32(0), 0x04030201U);
    EXPECT_EQ(view.u64(0), 0x0102030405060708ULL);
    EXPECT_EQ(ZRByteView(bytes, little).u16(6), 0x0807U);
    EXPECT_FALSE(view.u32(5));
    EXPECT_FALSE(view.u64(1));
    EXPECT_FALSE(view.u8(8));
    EXPECT_FALSE(view.span(4, UINT64_MAX));
    EXPECT_FALSE(view.span(UINT64_MAX, 2));
    EXPECT_TRUE(view.span(8, 0));
    EXPECT_FALSE(ZRByteView::rangeFits(UINT64_MAX - 1, 4, UINT64_MAX));
    const std::vector<std::uint8_t> text{'a', 'b', 0, 'c'};
    EXPECT_EQ(ZRByteView(text).cString(0), "ab");
    EXPECT_FALSE(ZRByteView(text).cString(3)) << "a string must end inside the buffer";
}

TEST(ByteView, ReadsAWholeStructureOnlyWhenEveryByteIsInside) {
    using ZRMachOFormat::LinkEditDataCommand;
    const std::vector<std::uint8_t> bytes(17, 0x11);
    const ZRByteView view(bytes);
    ASSERT_TRUE(view.read<LinkEditDataCommand>(0));
    EXPECT_EQ(view.read<LinkEditDataCommand>(1)->dataSize, 0x11111111U) << "ends exactly at the end";
    EXPECT_FALSE(view.read<LinkEditDataCommand>(2)) << "ends one byte past the view";
    EXPECT_FALSE(ZRByteView(std::span(bytes).first(15)).read<LinkEditDataCommand>(0));
    EXPECT_FALSE(view.read<LinkEditDataCommand>(UINT64_MAX - 7)) << "offset + length wraps around";
    EXPECT_FALSE(view.read<LinkEditDataCommand>(UINT64_MAX));
    EXPECT_FALSE(ZRByteView().read<ZRMachOFormat::BlobHeader>(0));
}

TEST(ByteView, DecodesTheSameFieldsFromEitherByteOrder) {
    const auto segment = [](ZRByteView::ByteOrder order) {
        std::vector<std::uint8_t> bytes(ZRByteView::encodedSize<ZRMachOFormat::SegmentCommand64>());
        put(bytes, 0, 0x19, order);
        put(bytes, 4, 72 + 80, order);
        std::copy_n("__LINKEDIT", 10, bytes.begin() + 8);
        put(bytes, 24, 0x100008000, order, 8);
        put(bytes, 32, 0x4000, order, 8);
        put(bytes, 40, 0x1122334455667788, order, 8);
        put(bytes, 48, 0x3f0, order, 8);
        put(bytes, 56, 0xffffffff, order);
        put(bytes, 60, 1, order);
        put(bytes, 64, 2, order);
        put(bytes, 68, 0x80000000, order);
        return bytes;
    };
    const auto bigBytes = segment(big);
    const auto littleBytes = segment(little);
    const auto fromBig = ZRByteView(bigBytes, big).read<ZRMachOFormat::SegmentCommand64>(0);
    const auto fromLittle = ZRByteView(littleBytes, little).read<ZRMachOFormat::SegmentCommand64>(0);
    ASSERT_TRUE(fromBig);
    ASSERT_TRUE(fromLittle);
    EXPECT_EQ(*fromBig, *fromLittle);
    EXPECT_EQ(std::tuple(fromBig->command, ZRMachOFormat::nameString(fromBig->name), fromBig->virtualAddress,
                         fromBig->fileOffset, fromBig->fileSize, fromBig->maximumProtection,
                         fromBig->sectionCount, fromBig->flags),
              std::tuple(ZRMachOFormat::loadCommandSegment64, "__LINKEDIT", 0x100008000U, 0x1122334455667788U,
                         0x3f0U, -1, 2U, 0x80000000U));
    EXPECT_NE(ZRByteView(bigBytes, little).read<ZRMachOFormat::SegmentCommand64>(0), fromBig)
        << "the view's byte order decides";
}

TEST(MachOFile, ReadsThinSlicesWithTheirSignatureAndInfoPlist) {
    const auto bytes = FixtureSigner::sign(executable(Architecture::arm64), developerIDOptions());
    const auto parsed = ZRMachOFile::parse(bytes);
    ASSERT_TRUE(parsed) << parsed.error().description;
    ASSERT_EQ(parsed->slices().size(), 1U);
    const auto& slice = parsed->slices().front();
    EXPECT_FALSE(parsed->isUniversal() || parsed->strictProblem());
    EXPECT_EQ(std::tuple(slice.architectureName(), slice.is64Bit, slice.segments.size(),
                         slice.segments.back().name),
              std::tuple("arm64", true, 3U, "__LINKEDIT"));
    ASSERT_TRUE(slice.codeSignature && slice.infoPlistSection);
    const auto plist = slice.infoPlistBytes();
    EXPECT_EQ(std::string(plist.begin(), plist.end()), infoPlist);
}

TEST(MachOFile, ReadsUniversalFilesInHeaderOrder) {
    const auto bytes =
        FixtureMachOBuilder::universal({FixtureSigner::makeUnsigned(executable(Architecture::x86_64)),
                                        FixtureSigner::makeUnsigned(executable(Architecture::arm64))});
    const auto parsed = ZRMachOFile::parse(bytes);
    ASSERT_TRUE(parsed) << parsed.error().description;
    ASSERT_EQ(parsed->slices().size(), 2U);
    EXPECT_TRUE(parsed->isUniversal());
    EXPECT_EQ(parsed->slices()[0].architectureName(), "x86_64");
    EXPECT_EQ(parsed->slices()[1].architectureName(), "arm64");
    EXPECT_EQ(parsed->slices()[1].fileOffset % 16384, 0U);
    EXPECT_FALSE(parsed->strictProblem());
}

TEST(MachOFile, ReadsTheBigEndianAnd64BitUniversalForms) {
    auto slice = FixtureSigner::makeUnsigned(executable());
    auto universal = FixtureMachOBuilder::universal({slice});
    // Rewrite the table as a 64-bit one: magic, count, then {cputype, subtype, offset64, size64,
    // align, reserved}.
    std::vector<std::uint8_t> wide(universal.size(), 0);
    std::copy(universal.begin() + 16384, universal.end(), wide.begin() + 16384);
    put(wide, 0, 0xcafebabf, big);
    put(wide, 4, 1, big);
    put(wide, 8, 0x01000007, big);
    put(wide, 12, 3, big);
    put(wide, 20, 16384, big);
    put(wide, 28, slice.size(), big);
    put(wide, 32, 14, big);
    const auto parsed = ZRMachOFile::parse(wide);
    ASSERT_TRUE(parsed) << parsed.error().description;
    EXPECT_EQ(parsed->slices().front().architectureName(), "x86_64");
}

/// A four-byte field set to a lying value, and the problem the parser must name for it.
struct Lie {
    std::size_t offset;
    std::uint32_t value;
    const char* problem;
};

void expectRefused(const std::vector<std::uint8_t>& good, std::initializer_list<Lie> lies, bool bigEndian) {
    ASSERT_EQ(failure(good), "") << "the unchanged file must parse";
    for (const auto& [offset, value, problem] : lies) {
        auto bytes = good;
        put(bytes, offset, value, bigEndian ? big : little);
        EXPECT_THAT(failure(bytes),
                    testing::AllOf(testing::Not(testing::IsEmpty()), testing::HasSubstr(problem)))
            << "offset " << offset << " = " << value;
    }
}

TEST(MachOFile, RefusesLyingHeaders) {
    const auto good = FixtureSigner::sign(executable(), developerIDOptions());
    EXPECT_NE(failure(std::vector(good.begin(), good.begin() + 20)), "");
    EXPECT_NE(failure({0xcf, 0xfa}), "");
    expectRefused(good,
                  {{20, 0x7fffffff, "load commands extend past"},
                   {16, 100000, "load commands"},
                   {32 + 4, 4, "load command 0 has an invalid size"}, // the first command claims 4 bytes
                   {32 + 4, 0x10000, "load command 0 extends past"}},
                  false);
}

TEST(MachOFile, RefusesSegmentsAndSignaturesOutsideTheSlice) {
    const std::size_t text = 32 + 72;                        // the second command: __TEXT
    const std::size_t signature = 32 + 72 + (72 + 160) + 72; // LC_CODE_SIGNATURE
    expectRefused(FixtureSigner::sign(executable(), developerIDOptions()),
                  {{text + 48, 0x7fffffff, "extends past the end of the slice"}, // file size
                   {text + 64, 1000, "more sections than fit"},                  // section count
                   {text + 72 + 48, 0x7ffffff0, "lies outside its segment"},     // __text file offset
                   {signature + 12, 0x7fffffff, "LC_CODE_SIGNATURE"},
                   {signature + 8, 0, "overlaps the load commands"},    // over the header
                   {32 + 72 + 232 + 40, 0, "overlaps segment __TEXT"}}, // __LINKEDIT at 0
                  false);
}

TEST(MachOFile, RefusesLyingUniversalTables) {
    expectRefused(FixtureMachOBuilder::universal({FixtureSigner::makeUnsigned(executable())}),
                  {{4, 1000, ""}, // slice count
                   {4, 0, ""},
                   {16, 0x7fffffff, "slice 0 extends outside the file"},
                   {16, 0, ""}, // into the header
                   {8, 0x0100000c, "CPU type"}},
                  true);
    auto twice = FixtureMachOBuilder::universal(
        {FixtureSigner::makeUnsigned(executable()), FixtureSigner::makeUnsigned(executable())});
    put(twice, 28 + 8, 16384, big); // second slice at the first one's offset
    put(twice, 28 + 12, 100, big);
    EXPECT_THAT(failure(twice), testing::HasSubstr("overlaps another slice"));
}

TEST(MachOFile, NotesLayoutsOnlyStrictValidationRefuses) {
    auto trailing = FixtureSigner::makeUnsigned(executable());
    trailing.push_back(0);
    const auto parsed = ZRMachOFile::parse(trailing);
    ASSERT_TRUE(parsed);
    EXPECT_THAT(parsed->strictProblem().value_or(""), testing::HasSubstr("after __LINKEDIT"));
    auto universal = FixtureMachOBuilder::universal({FixtureSigner::makeUnsigned(executable())});
    universal.push_back(0);
    EXPECT_THAT(ZRMachOFile::parse(universal)->strictProblem().value_or(""),
                testing::HasSubstr("after its last slice"));
}

TEST(MachOFileLenient, ListsAnUnreadableSliceAndKeepsTheOthers) {
    auto bytes = FixtureMachOBuilder::universal(
        {FixtureSigner::makeUnsigned(executable(Architecture::x86_64)),
         FixtureSigner::sign(executable(Architecture::arm64), developerIDOptions())});
    const auto validated = ZRMachOFile::parse(bytes);
    ASSERT_TRUE(validated) << validated.error().description;
    const std::uint64_t firstSlice = validated->slices()[0].fileOffset;
    bytes[firstSlice] = 'X';

    EXPECT_FALSE(ZRMachOFile::parse(bytes));
    const auto lenient = ZRMachOFile::parse(bytes, ZRReadingMode::lenient);
    ASSERT_TRUE(lenient) << lenient.error().description;
    ASSERT_EQ(lenient->slices().size(), 1U);
    EXPECT_EQ(lenient->slices()[0].architectureName(), "arm64");
    EXPECT_TRUE(lenient->slices()[0].codeSignature);
    ASSERT_EQ(lenient->unreadableSlices().size(), 1U);
    EXPECT_THAT(lenient->unreadableSlices()[0].description, testing::HasSubstr("slice 0"));
}

TEST(MachOFileLenient, StopsAtADamagedLoadCommandButRefusesASignatureOutsideTheSlice) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    // The first load command claims to be longer than all of them.
    const std::size_t firstCommand = ZRByteView::encodedSize<ZRMachOFormat::MachHeader64>();
    auto damaged = bytes;
    put(damaged, firstCommand + 4, 0x7ffffff0, little);
    EXPECT_FALSE(ZRMachOFile::parse(damaged));
    const auto lenient = ZRMachOFile::parse(damaged, ZRReadingMode::lenient);
    ASSERT_TRUE(lenient);
    ASSERT_EQ(lenient->slices().size(), 1U);
    EXPECT_FALSE(lenient->slices()[0].codeSignature) << "the signature command lies after the damage";

    const auto parsed = ZRMachOFile::parse(bytes);
    ASSERT_TRUE(parsed);
    const auto range = *parsed->slices()[0].codeSignature;
    std::vector<std::uint8_t> command(16);
    put(command, 0, ZRMachOFormat::loadCommandCodeSignature, little);
    put(command, 4, 16, little);
    put(command, 8, range.offset, little);
    put(command, 12, range.size, little);
    const auto found = std::search(bytes.begin(), bytes.end(), command.begin(), command.end());
    ASSERT_NE(found, bytes.end());
    auto outside = bytes;
    put(outside, static_cast<std::size_t>(found - bytes.begin()) + 12, 0x7fffffff, little);
    const auto refused = ZRMachOFile::parse(outside, ZRReadingMode::lenient);
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->slices().empty());
    EXPECT_EQ(refused->unreadableSlices().size(), 1U);
}

} // namespace
