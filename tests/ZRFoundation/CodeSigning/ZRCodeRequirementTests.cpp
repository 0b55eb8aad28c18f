#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRCodeRequirement.h"

#include <gtest/gtest.h>

namespace {

using namespace CodeSigningFixtures;

std::string roundTrip(const std::string& text) {
    const auto compiled = ZRCodeRequirement::fromText(text);
    if (!compiled) {
        return "error: " + compiled.error().description;
    }
    const auto decoded = ZRCodeRequirement::fromBlob(compiled->blob());
    return decoded ? decoded->text() : "error: " + decoded.error().description;
}

ZRCodeRequirement::Context developerIDContext() {
    ZRCodeRequirement::Context context;
    context.identifier = "com.example.fixture";
    context.certificates = {hierarchy().developerIDLeaf.der(), hierarchy().intermediate.der(),
                            hierarchy().root.der()};
    context.appleAnchored = true;
    context.cdhash = std::vector<std::uint8_t>(20, 0xab);
    context.infoValue = [](std::string_view key) -> std::optional<std::string> {
        if (key == "CFBundleName") {
            return "Fixture";
        }
        return std::nullopt;
    };
    return context;
}

std::int32_t evaluate(const std::string& text,
                      const ZRCodeRequirement::Context& context = developerIDContext()) {
    const auto requirement = ZRCodeRequirement::fromText(text);
    EXPECT_TRUE(requirement) << requirement.error().description;
    return requirement ? requirement->evaluate(context) : 1;
}

TEST(CodeRequirement, PrintsDesignatedRequirementsAsSigningToolsDo) {
    const std::string designated =
        "identifier \"com.example.app\" and anchor apple generic and certificate "
        "1[field.1.2.840.113635.100.6.2.6] "
        "/* exists */ and certificate leaf[field.1.2.840.113635.100.6.1.13] /* exists */ and certificate "
        "leaf[subject.OU] = EXAMPLE123";
    EXPECT_EQ(roundTrip(designated), designated);
    EXPECT_EQ(roundTrip("anchor apple"), "anchor apple");
    EXPECT_EQ(roundTrip("(anchor apple or anchor apple generic) and identifier a"),
              "(anchor apple or anchor apple generic) and identifier \"a\"");
    EXPECT_EQ(roundTrip("anchor apple or anchor apple generic and identifier a"),
              "anchor apple or anchor apple generic and identifier \"a\"");
    EXPECT_EQ(roundTrip("!(identifier a or identifier b)"), "!(identifier \"a\" or identifier \"b\")");
    EXPECT_EQ(roundTrip("info[CFBundleName] = \"My App\""), "info[CFBundleName] = \"My App\"");
    EXPECT_EQ(roundTrip("certificate root = H\"611e5b662c593a08ff58d14ae22452d198df6c60\""),
              "certificate root = H\"611e5b662c593a08ff58d14ae22452d198df6c60\"");
    EXPECT_EQ(roundTrip("certificate leaf[subject.CN] = \"Apple\"*"),
              "certificate leaf[subject.CN] = Apple*");
    EXPECT_EQ(roundTrip("cdhash H\"00ff\""), "cdhash H\"00ff\"");
    EXPECT_EQ(roundTrip("always or never"), "always or never");
}

TEST(CodeRequirement, EvaluatesTheSupportedConstructs) {
    EXPECT_EQ(evaluate(FixtureSigner::developerIDRequirement("com.example.fixture", "FIXTURE123")), 0);
    EXPECT_EQ(evaluate(FixtureSigner::developerIDRequirement("com.example.fixture", "OTHER")),
              ZROSStatus::errSecCSReqFailed);
    EXPECT_EQ(evaluate("anchor apple generic"), 0);
    EXPECT_EQ(evaluate("anchor apple"), ZROSStatus::errSecCSReqFailed)
        << "no Apple code signing intermediate";
    EXPECT_EQ(evaluate("identifier \"com.example.other\""), ZROSStatus::errSecCSReqFailed);
    EXPECT_EQ(evaluate("not identifier \"com.example.other\""), 0);
    EXPECT_EQ(evaluate("certificate leaf[subject.O] = \"Fixture Developer\""), 0);
    EXPECT_EQ(evaluate("certificate leaf[subject.CN] = \"Developer ID\"*"), 0);
    EXPECT_EQ(evaluate("certificate root[subject.CN] = \"Fixture Root CA\""), 0);
    EXPECT_EQ(evaluate("certificate 1[subject.CN] ~ \"Developer ID\""), 0);
    EXPECT_EQ(evaluate("certificate 5[subject.CN] = x"), ZROSStatus::errSecCSReqFailed);
    EXPECT_EQ(evaluate("certificate leaf[field.1.2.840.113635.100.6.1.12]"), ZROSStatus::errSecCSReqFailed);
    EXPECT_EQ(evaluate("info[CFBundleName] = Fixture and info[Missing] absent"), 0);
    EXPECT_EQ(evaluate("cdhash H\"abababababababababababababababababababab\""), 0);
    EXPECT_EQ(evaluate("(identifier x or identifier \"com.example.fixture\") and anchor apple generic"), 0);

    auto unanchored = developerIDContext();
    unanchored.appleAnchored = false;
    EXPECT_EQ(evaluate("anchor apple generic", unanchored), ZROSStatus::errSecCSReqFailed);
}

TEST(CodeRequirement, UnsupportedConstructsFailWithTheirOwnStatus) {
    EXPECT_EQ(evaluate("anchor trusted"), ZROSStatus::errSecCSReqUnsupported);
    EXPECT_EQ(evaluate("entitlement[com.apple.security.app-sandbox] exists"),
              ZROSStatus::errSecCSReqUnsupported);
    EXPECT_EQ(evaluate("certificate leaf[field.1.2.3] = x"), ZROSStatus::errSecCSReqUnsupported);
    EXPECT_EQ(evaluate("identifier x or notarized"), ZROSStatus::errSecCSReqUnsupported);
    EXPECT_EQ(evaluate("identifier x and notarized"), ZROSStatus::errSecCSReqFailed)
        << "and stops at the first false";
}

TEST(CodeRequirement, RefusesMalformedTextAndBlobs) {
    for (const char* text : {"", "anchor", "identifier", "certificate leaf[subject.CN", "(identifier a",
                             "identifier a and", "certificate x[subject.CN] = y", "cdhash H\"0\"",
                             "platform = x", "certificate leaf[field.1.x]", "identifier \"unterminated"}) {
        const auto parsed = ZRCodeRequirement::fromText(text);
        EXPECT_FALSE(parsed) << text;
        if (!parsed) {
            EXPECT_EQ(parsed.error().status, ZROSStatus::errSecCSReqInvalid) << text;
        }
    }
    const auto blob = ZRCodeRequirement::fromText("identifier a and anchor apple generic")->blob();
    for (std::size_t length = 0; length < blob.size(); ++length) {
        std::vector<std::uint8_t> truncated(blob.begin(), blob.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(ZRCodeRequirement::fromBlob(truncated)) << length;
    }
    auto unknown = blob;
    unknown[15] = 99; // the first operation
    EXPECT_EQ(ZRCodeRequirement::fromBlob(unknown).error().status, ZROSStatus::errSecCSReqUnsupported);
}

TEST(CodeRequirement, ReadsNumbersAsDecimalWords) {
    // Leading zeros are decimal, never octal, and print as the plain number.
    EXPECT_EQ(roundTrip("platform 09"), "platform = 9");
    EXPECT_EQ(roundTrip("platform = 010"), "platform = 10");
    EXPECT_EQ(roundTrip("platform 0000"), "platform = 0");
    EXPECT_EQ(roundTrip("platform 4294967295"), "platform = 4294967295");
    EXPECT_EQ(roundTrip("platform 00004294967295"), "platform = 4294967295");
    EXPECT_EQ(roundTrip("certificate 01[subject.CN] = x"), "certificate 1[subject.CN] = x");
    EXPECT_EQ(roundTrip("certificate 0000[subject.CN] = x"), "certificate leaf[subject.CN] = x");
    for (const char* text : {"platform 4294967296", "platform 99999999999999999999", "platform -1",
                             "platform +1", "platform 0x10", "platform 1e3",
                             "certificate 2147483648[subject.CN] = x", "certificate +1[subject.CN] = x"}) {
        EXPECT_FALSE(ZRCodeRequirement::fromText(text)) << text;
    }

    auto context = developerIDContext();
    context.platform = 9;
    EXPECT_EQ(evaluate("platform 09", context), 0);
    EXPECT_EQ(evaluate("platform 9", context), 0);
    EXPECT_EQ(evaluate("platform 011", context), ZROSStatus::errSecCSReqFailed);
}

TEST(CodeRequirement, LimitsNesting) {
    EXPECT_FALSE(ZRCodeRequirement::fromText(std::string(200, '(').append("always").append(200, ')')));
    std::vector<std::uint8_t> nots{0xfa, 0xde, 0x0c, 0x00, 0, 0, 0, 0, 0, 0, 0, 1};
    for (int index = 0; index < 1000; ++index) {
        nots.insert(nots.end(), {0, 0, 0, 9});
    }
    nots.insert(nots.end(), {0, 0, 0, 1});
    nots[6] = static_cast<std::uint8_t>(nots.size() >> 8);
    nots[7] = static_cast<std::uint8_t>(nots.size());
    EXPECT_EQ(ZRCodeRequirement::fromBlob(nots).error().status, ZROSStatus::errSecCSReqInvalid);
}

TEST(CodeRequirement, ReadsRequirementSets) {
    std::map<std::uint32_t, ZRCodeRequirement> requirements;
    requirements.emplace(3, ZRCodeRequirement::fromText("identifier a").value());
    requirements.emplace(1, ZRCodeRequirement::fromText("anchor apple").value());
    const auto blob = ZRCodeRequirement::requirementSetBlob(requirements);
    const auto parsed = ZRCodeRequirement::requirementSet(blob);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->at(3).text(), "identifier \"a\"");
    EXPECT_EQ(parsed->at(1).text(), "anchor apple");
    auto lying = blob;
    lying[11] = 200;
    EXPECT_FALSE(ZRCodeRequirement::requirementSet(lying));
}

TEST(CodeRequirement, LimitsChainsThatNestOnlyInTheTree) {
    std::string chain = "always";
    for (int index = 0; index < 100; ++index) {
        chain += " and always";
    }
    const auto parsed = ZRCodeRequirement::fromText(chain);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(parsed.error().status, ZROSStatus::errSecCSReqInvalid);
    // Whatever the text form accepts, the compiled form reads back.
    std::string shorter = "always";
    for (int index = 0; index < 40; ++index) {
        shorter += " or always";
    }
    const auto compiled = ZRCodeRequirement::fromText(shorter);
    ASSERT_TRUE(compiled);
    EXPECT_TRUE(ZRCodeRequirement::fromBlob(compiled->blob()));
}

} // namespace
