#include "CodeSigningTestSupport.h"
#include "Support/Thrown.h"
#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckerCache.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "tools/FixtureSigner/FixtureEntitlements.h"
#include "tools/FixtureSigner/FixtureTamper.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <mutex>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using namespace CodeSigningFixtures;
using namespace CodeSigningTestSupport;
using Architecture = FixtureMachOBuilder::Architecture;
using Type = ZRCodeSignatureCertificateType;
using namespace ZROSStatus;

constexpr ZRCodeSignatureCheckOptions fresh = ZRCodeSignatureCheckIgnoreCache;

class CodeSignatureChecker : public ::testing::Test {
protected:
    std::filesystem::path signedFile(const std::string& name,
                                     const FixtureSigner::Options& options = developerIDOptions()) {
        return write(folder, name, FixtureSigner::sign(executable(), options));
    }

    TemporaryFolder folder;
};

// --- Validity values ------------------------------------------------------------------------

TEST_F(CodeSignatureChecker, AcceptsADeveloperIDSignatureThroughAnExtraAnchorAndSaysSo) {
    const auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    const auto result = check(write(folder, "signed", bytes));
    EXPECT_EQ(verdict(*result), "1 developerID");
    EXPECT_TRUE(result->usedExtraTrustAnchor());
    EXPECT_EQ(names(*result),
              "com.example.fixture | FIXTURE123 | Fixture Developer | FIXTURE123 | Fixture Inc.");
    EXPECT_EQ(result->certificates(), (std::vector{hierarchy().developerIDLeaf.der(),
                                                   hierarchy().intermediate.der(), hierarchy().root.der()}));
    // The Info.plist is returned only under option 0x20.
    EXPECT_FALSE(result->details() || result->infoPList() ||
                 result->localizedTrustEvaluationErrorDescription());
    // The code directory hash is that of the SHA-256 directory, not of the SHA-1 one in slot 0.
    const auto [offset, length] = FixtureTamper::blobRange(bytes, 0, 0x1000);
    auto expected =
        ZRCodeSigningDigest::digest(ZRCodeSigningDigest::sha256, std::span(bytes).subspan(offset, length));
    expected.resize(20);
    EXPECT_EQ(result->codeDirectoryHash(), expected);
}

TEST_F(CodeSignatureChecker, WithoutTheAnchorADeveloperIDSignatureIsNotAppleAnchored) {
    const auto path = signedFile("signed");
    const auto result = check(path, 0, false);
    EXPECT_EQ(verdict(*result), "6 other");
    EXPECT_TRUE(result->localizedTrustEvaluationErrorDescription());
    EXPECT_FALSE(result->usedExtraTrustAnchor());
    // With the requirement skipped the signature itself is valid.
    EXPECT_EQ(check(path, ZRCodeSignatureCheckSkipRequirement, false)->validity(), 1U);
}

TEST_F(CodeSignatureChecker, ClassifiesEachCertificateKind) {
    for (const auto& [leaf, expected] : {std::pair{&hierarchy().developmentLeaf, "1 development"},
                                         {&hierarchy().macAppStoreLeaf, "1 macAppStore"},
                                         {&hierarchy().plainLeaf, "1 other"}}) {
        auto options = optionsSignedBy(*leaf);
        options.designatedRequirement.reset();
        EXPECT_EQ(verdict(*check(signedFile("kind", options))), expected);
    }
}

TEST_F(CodeSignatureChecker, ASelfSignedSignatureIsNotAnchoredWhateverItsMarker) {
    auto options = developerIDOptions();
    options.signer = &hierarchy().selfSignedLeaf;
    options.chain = {};
    const auto result = check(signedFile("self", options));
    EXPECT_EQ(verdict(*result), "6 other");
    EXPECT_TRUE(result->details().value().empty());
}

TEST_F(CodeSignatureChecker, AdhocSignaturesGiveTheShortForm) {
    for (const auto kind : {FixtureSigner::Kind::adhoc, FixtureSigner::Kind::linkerSigned}) {
        const auto path = write(folder, "adhoc", FixtureSigner::sign(executable(), adhocOptions(kind)));
        const auto result = check(path);
        EXPECT_EQ(verdict(*result), "5 adhoc");
        EXPECT_TRUE(result->codeDirectoryHash());
        EXPECT_FALSE(result->identifier() || result->certificates()) << "the short form leaves them out";
        EXPECT_EQ(check(path, ZRCodeSignatureCheckSkipRequirement)->validity(), 5U);
    }
}

TEST_F(CodeSignatureChecker, UnsignedFilesAreResultsNotErrors) {
    const auto result = check(write(folder, "thin", FixtureSigner::makeUnsigned(executable())));
    EXPECT_EQ(verdict(*result), "4 none");
    EXPECT_FALSE(result->certificateSubjectDisplayString());
    for (const char* contents : {"just some text\n", ""}) {
        EXPECT_EQ(check(folder.write("other", contents))->validity(), 4U) << contents;
    }
}

TEST_F(CodeSignatureChecker, AUniversalFileWithOneUnsignedSliceIsUnsigned) {
    const auto file = FixtureMachOBuilder::universal(
        {FixtureSigner::makeUnsigned(executable(Architecture::x86_64)),
         FixtureSigner::sign(executable(Architecture::arm64), developerIDOptions())});
    EXPECT_EQ(check(write(folder, "mixed", file))->validity(), 4U);
    const auto bothSigned = FixtureMachOBuilder::universal(
        {FixtureSigner::sign(executable(Architecture::x86_64), developerIDOptions()),
         FixtureSigner::sign(executable(Architecture::arm64), developerIDOptions())});
    EXPECT_EQ(check(write(folder, "both", bothSigned))->validity(), 1U);
}

// --- Tampering ------------------------------------------------------------------------------

TEST_F(CodeSignatureChecker, RejectsEachKindOfTampering) {
    auto options = developerIDOptions();
    options.timestampAuthority = &hierarchy().timestampAuthority;
    options.timestampChain = {&hierarchy().root};
    const auto original = FixtureSigner::sign(executable(), options);
    ASSERT_EQ(check(write(folder, "original", original))->validity(), 1U);

    using Tamper = bool (*)(std::vector<std::uint8_t>&, std::uint64_t);
    for (const auto& [tamper, text] :
         {std::pair<Tamper, const char*>{FixtureTamper::flipCodeByte, "page 1 hash mismatch"},
          {FixtureTamper::flipRequirementsByte, "special slot 2"},
          {FixtureTamper::flipCMSSignatureByte, ""}}) {
        auto bytes = original;
        ASSERT_TRUE(tamper(bytes, 0));
        EXPECT_THAT(validate(write(folder, "tampered", bytes)), FailsWith(errSecCSSignatureFailed, text));
    }
    auto plist = original;
    plist[*FixtureMachOBuilder::build(executable(), 1).infoPlistOffset + 60] ^= 0x20;
    EXPECT_EQ(check(write(folder, "plist", plist))->validity(), 3U);
}

TEST_F(CodeSignatureChecker, RejectsAPageHashMismatchInAnAlternateCodeDirectoryOnly) {
    // Sign with SHA-256 only in the alternate slot and damage only its page hashes: the slot-0
    // directory still matches the code, the alternate does not.
    auto options = developerIDOptions();
    options.codeDirectoryHashAttributes = false;
    auto bytes = FixtureSigner::sign(executable(), options);
    const auto [offset, length] = FixtureTamper::blobRange(bytes, 0, 0x1000);
    ASSERT_GT(length, 32U);
    bytes[offset + length - 1] ^= 0xff; // last code slot hash of the SHA-256 directory
    EXPECT_THAT(validate(write(folder, "alternate", bytes)),
                FailsWith(errSecCSSignatureFailed, "code directory 0x1000: page"));
}

TEST_F(CodeSignatureChecker, AnUnknownSignerDigestCannotBeCheckedAndIsAnError) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    ASSERT_TRUE(FixtureTamper::setUnknownSignerDigest(bytes));
    const auto path = write(folder, "digest", bytes);
    EXPECT_EQ(validate(path).status, errSecCSSignatureNotVerifiable);
    const auto error = thrownBy<ZRCodeSignatureCheckError>([&] { check(path); });
    EXPECT_EQ(error.value().code(), errSecCSSignatureNotVerifiable);
}

TEST_F(CodeSignatureChecker, StrictValidationRefusesTrailingBytesAndALimitShortOfTheSignature) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    bytes.push_back(0);
    const auto path = write(folder, "trailing", bytes);
    EXPECT_EQ(validate(path).status, errSecCSBadMainExecutable);
    EXPECT_EQ(check(path)->validity(), 0U);

    auto universal =
        FixtureMachOBuilder::universal({FixtureSigner::sign(executable(), developerIDOptions())});
    universal[100] = 1; // inside the zero gap between the header and the slice
    EXPECT_EQ(validate(write(folder, "gap", universal)).status, errSecCSBadMainExecutable);
}

TEST_F(CodeSignatureChecker, MissingFilesAndMalformedMachOAreErrors) {
    EXPECT_THROW(check(folder.path() / "missing"), ZRCodeSignatureCheckError);
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    bytes.resize(40);
    const auto error = thrownBy<ZRCodeSignatureCheckError>([&] { check(write(folder, "truncated", bytes)); });
    EXPECT_EQ(error.value().code(), errSecCSBadObjectFormat);
    EXPECT_FALSE(error.value().errorDescription().empty());
}

// --- Time -----------------------------------------------------------------------------------

TEST_F(CodeSignatureChecker, ExpiredLeafIsJudgedAtTheTimestamp) {
    const auto expired = FixtureCertificateHierarchy::make(-3L * 365 * 86400, -365L * 86400);
    auto options = developerIDOptions();
    options.signer = &expired.developerIDLeaf;
    options.chain = {&expired.intermediate, &expired.root};
    const std::vector<ZRTrustEvaluator::Certificate> anchors{expired.root.der()};
    auto checkWith = [&](const std::filesystem::path& path) {
        return ZRCodeSignatureChecker::checkFileURL(path, fresh, anchors);
    };
    // Without a timestamp expiry is tolerated.
    EXPECT_EQ(checkWith(signedFile("plain", options))->validity(), 1U);
    // A timestamp inside the validity period makes it valid.
    options.timestampAuthority = &expired.timestampAuthority;
    options.timestampChain = {&expired.root};
    options.timestampTime = std::time(nullptr) - 2L * 365 * 86400;
    EXPECT_EQ(checkWith(signedFile("inside", options))->validity(), 1U);
    // A timestamp after expiry makes it invalid.
    options.timestampTime = std::time(nullptr) - 86400;
    const auto late = signedFile("late", options);
    EXPECT_EQ(validate(late, anchors).status, trustCertificateExpired);
    EXPECT_EQ(checkWith(late)->validity(), 0U);
}

TEST_F(CodeSignatureChecker, ATimestampAuthorityOutsideTheSigningChainsAnchorsIsRefused) {
    const auto stranger = FixtureCertificateHierarchy::make();
    auto options = developerIDOptions();
    options.timestampAuthority = &stranger.timestampAuthority;
    options.timestampChain = {&stranger.root};
    EXPECT_EQ(validate(signedFile("tsa", options)).status, trustNotTrusted);
}

// --- Options --------------------------------------------------------------------------------

TEST_F(CodeSignatureChecker, ReturnsTheEmbeddedInfoPlistUnderOption0x20AndNeedsI386ForTheI386Option) {
    const auto path = signedFile("signed");
    const auto result = check(path, ZRCodeSignatureCheckInfoPList);
    EXPECT_EQ(result->infoPList(),
              (ZRPropertyListDictionary{{"CFBundleIdentifier", ZRPropertyList::string("com.example.fixture")},
                                        {"CFBundleName", ZRPropertyList::string("Fixture")}}));
    // The i386 option needs an i386 slice.
    EXPECT_THROW(check(path, ZRCodeSignatureCheckI386Architecture), ZRCodeSignatureCheckError);
}

TEST(CodeSignatureValidity, ClassifiesStatusesAsTheTableSays) {
    using C = ZRCodeSignatureChecker;
    EXPECT_EQ(C::validityForStatus(0, false, true), 1U);
    EXPECT_EQ(C::validityForStatus(0, true, true), 1U);
    EXPECT_EQ(C::validityForStatus(0, true, false), 5U);
    EXPECT_EQ(C::validityForStatus(-67061, false, true), 2U);
    for (const auto status : {-67057, -67056, -67054, -67030}) {
        EXPECT_EQ(C::validityForStatus(status, false, true), 3U);
    }
    EXPECT_EQ(C::validityForStatus(-67062, false, true), 4U);
    EXPECT_EQ(C::validityForStatus(-67050, true, true), 5U);
    EXPECT_EQ(C::validityForStatus(-66996, true, true), 5U);
    EXPECT_EQ(C::validityForStatus(-67050, false, true), 6U);
    EXPECT_EQ(C::validityForStatus(-67050, true, false), 6U);
    EXPECT_EQ(C::validityForStatus(-2147409652, false, true), 7U);
    EXPECT_EQ(C::validityForStatus(-67060, false, true), 8U);
    EXPECT_EQ(C::validityForStatus(-67037, false, true), 8U);
    for (const auto status : {-67059, -67058, -67055, -67053, -67052, -67051, -67010, 12345}) {
        EXPECT_EQ(C::validityForStatus(status, false, true), 0U);
    }
    EXPECT_EQ(C::checkPID(1, 0), 0U);
}

// --- Cache ----------------------------------------------------------------------------------

TEST_F(CodeSignatureChecker, CatchesAChangedExecutableWhoseModificationTimeWasPutBack) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    const auto path = write(folder, "rewritten", bytes);
    const auto anchors = fixtureAnchors();
    const auto valid = ZRCodeSignatureChecker::checkFileURL(path, ZRCodeSignatureCheckInfoPList, anchors);
    ASSERT_EQ(valid->validity(), ZRCodeSignatureCheckResult::validityValid);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    // Same size, same modification time to the nanosecond: only the change time tells.
    bytes[64] ^= 0xff;
    write(folder, "rewritten", bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const auto again = ZRCodeSignatureChecker::checkFileURL(path, ZRCodeSignatureCheckInfoPList, anchors);
    EXPECT_NE(again, valid);
    EXPECT_NE(again->validity(), ZRCodeSignatureCheckResult::validityValid);
}

// An unsigned result for the cache, of the given main executable.
std::shared_ptr<const ZRCodeSignatureCheckResult>
cachedResult(std::optional<std::filesystem::path> executable) {
    return std::make_shared<const ZRCodeSignatureCheckResult>(std::move(executable), 4, Type::none,
                                                              std::nullopt, std::nullopt);
}

class CodeSignatureCheckerCache : public testing::Test {
protected:
    // The key of the numbered entry, whose file does not exist.
    ZRCodeSignatureCheckerCache::Key numbered(int index) const {
        return {folder.path() / std::to_string(index), 0, ""};
    }

    TemporaryFolder folder;
    const std::filesystem::path file = folder.write("executable", "x");
    double clock = 0;
    ZRCodeSignatureCheckerCache cache{[this] { return clock; }, 100};
};

TEST_F(CodeSignatureCheckerCache, PrunesToTheMostRecentlyUsedQuarter) {
    const auto result = cachedResult(file);
    for (int index = 0; index < 100; ++index) {
        clock += 1;
        cache.cacheResultForKey(result, numbered(index));
    }
    EXPECT_EQ(cache.count(), 100U);
    clock += 1;
    cache.cacheResultForKey(result, {file, 7, ""});
    EXPECT_EQ(cache.count(), 26U);
    EXPECT_NE(cache.cachedResultForKey({file, 7, ""}), nullptr);
    EXPECT_EQ(cache.cachedResultForKey(numbered(0)), nullptr);

    // A result without a main executable removes what was cached under its key.
    cache.cacheResultForKey(cachedResult(std::nullopt), {file, 7, ""});
    EXPECT_EQ(cache.cachedResultForKey({file, 7, ""}), nullptr);
}

TEST_F(CodeSignatureCheckerCache, PruningKeepsTiesAndDropsStaleEntries) {
    const auto gone = folder.write("gone", "x");
    // Used at one moment, all 100 tie with the threshold and stay; a recent but stale entry goes.
    for (int index = 0; index < 99; ++index) {
        cache.cacheResultForKey(cachedResult(file), numbered(index));
    }
    clock = 1;
    cache.cacheResultForKey(cachedResult(gone), {gone, 0, ""});
    std::filesystem::remove(gone);
    cache.cacheResultForKey(cachedResult(file), {file, 1, ""});
    EXPECT_EQ(cache.count(), 100U);
    EXPECT_EQ(cache.cachedResultForKey({gone, 0, ""}), nullptr);

    // Reading an entry counts as using it: the most recently used quarter remains.
    for (int index = 0; index < 30; ++index) {
        clock += 1;
        EXPECT_NE(cache.cachedResultForKey(numbered(index)), nullptr);
    }
    clock += 1;
    cache.cacheResultForKey(cachedResult(file), {file, 2, ""});
    EXPECT_EQ(cache.count(), 26U);
    EXPECT_NE(cache.cachedResultForKey(numbered(29)), nullptr);
    EXPECT_NE(cache.cachedResultForKey({file, 2, ""}), nullptr);
    EXPECT_EQ(cache.cachedResultForKey(numbered(3)), nullptr);
    EXPECT_EQ(cache.cachedResultForKey(numbered(50)), nullptr);
}

TEST_F(CodeSignatureCheckerCache, DropsStaleEntriesOnLookup) {
    cache.cacheResultForKey(cachedResult(file), {file, 0, ""});
    std::filesystem::remove(file);
    EXPECT_EQ(cache.cachedResultForKey({file, 0, ""}), nullptr);
    EXPECT_EQ(cache.count(), 0U);
}

TEST_F(CodeSignatureChecker, TheCompletionFormHandsItsCallbackToTheExecutor) {
    const auto path = signedFile("async");
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::function<void()>> queued;
    bool called = false;
    ZRCodeSignatureChecker::Result received;
    ZRCodeSignatureChecker::checkFileURL(
        path, fresh,
        [&](std::function<void()> callback) {
            std::lock_guard lock(mutex);
            queued.push_back(std::move(callback));
            done.notify_all();
        },
        [&](ZRCodeSignatureChecker::Result result, std::optional<ZRCodeSignatureCheckError> error) {
            called = true;
            received = result;
            EXPECT_FALSE(error);
        },
        fixtureAnchors());
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return !queued.empty(); });
    EXPECT_FALSE(called) << "the handler runs only when the executor runs it";
    queued.front()();
    EXPECT_TRUE(called);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->validity(), 1U);
}

TEST_F(CodeSignatureChecker, SurvivesACertificateLoop) {
    const auto names = [](const char* commonName) {
        return FixtureCertificate::Names{commonName, std::string("Loop"), std::nullopt, std::nullopt};
    };
    FixtureCertificate::Options authority;
    authority.isCertificateAuthority = true;
    const auto first = FixtureCertificate::makeRoot(names("Loop B"), authority);
    const auto a = FixtureCertificate::makeIssued(first, names("Loop A"), authority);
    auto reused = authority;
    reused.key = first.sharedKey();
    // B again, now issued by A with B's own key: A and B issue each other.
    const auto b = FixtureCertificate::makeIssued(a, names("Loop B"), reused);
    FixtureCertificate::Options leafOptions;
    leafOptions.codeSigning = true;
    const auto leaf = FixtureCertificate::makeIssued(a, names("Loop Leaf"), leafOptions);
    auto options = developerIDOptions();
    options.signer = &leaf;
    options.chain = {&a, &b};
    options.designatedRequirement.reset();
    const auto path = signedFile("loop", options);
    EXPECT_NE(check(path, 0, false)->validity(), 1U);
    const auto infos = ZRCodeInfo::readFromFileURL(path, false);
    ASSERT_EQ(infos.size(), 1U);
    EXPECT_FALSE(infos[0].signatureIsFormallyCorrect || infos[0].hasTrustedSignature());
}

TEST_F(CodeSignatureChecker, ClassifiesAppleSoftwareLeavesInSigningRecords) {
    auto options = optionsSignedBy(hierarchy().appleSoftwareLeaf);
    options.designatedRequirement.reset();
    const auto path = signedFile("apple", options);
    const auto infos = ZRCodeInfo::readFromFileURL(path, true, fixtureAnchors());
    EXPECT_EQ(infos.at(0).signatureCertificateType, Type::apple);
    EXPECT_EQ(infos[0].authorDisplayString(), "Apple, Inc.");
    // The checker has no marker to go by and the root is not Apple Root CA.
    EXPECT_EQ(check(path)->certificateType(), Type::other);
}

TEST_F(CodeSignatureChecker, AnUnknownDigestInTheSignedDataListBreaksTheSignatureWithoutLeaking) {
    auto bytes = FixtureSigner::sign(executable(), developerIDOptions());
    const auto [offset, length] = FixtureTamper::blobRange(bytes, 0, 0x10000);
    static const std::uint8_t sha256OID[] = {0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                             0x65, 0x03, 0x04, 0x02, 0x01};
    const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
    const auto found = std::search(begin, begin + static_cast<std::ptrdiff_t>(length), std::begin(sha256OID),
                                   std::end(sha256OID));
    ASSERT_NE(found, begin + static_cast<std::ptrdiff_t>(length));
    *(found + 3) = 0x65; // the SignedData's digest list, not the signer's algorithm
    EXPECT_EQ(validate(write(folder, "list", bytes)).status, errSecCSSignatureFailed);
}

TEST_F(CodeSignatureChecker, RefusesACodeDirectoryTeamThatDiffersFromTheDeveloperCertificate) {
    auto options = developerIDOptions();
    options.teamIdentifier = "OTHERTEAM1";
    options.designatedRequirement.reset();
    EXPECT_EQ(validate(signedFile("team", options)).status, errSecCSBadTeamIdentifier);

    // Directories older than team identifiers carry none, and nothing is compared.
    options.version = 0x20100;
    const auto outcome = validate(signedFile("old", options));
    EXPECT_THAT(outcome, FailsWith(success, ""));
    EXPECT_FALSE(outcome.information.teamIdentifier);
}

// --- Entitlements ---------------------------------------------------------------------------

ZRPropertyListDictionary sandboxWithClient() {
    return {{"com.apple.security.app-sandbox", ZRPropertyList::boolean(true)},
            {"com.apple.security.network.client", ZRPropertyList::boolean(true)}};
}

TEST_F(CodeSignatureChecker, ReadsEntitlementsOnlyWhereTheCodeDirectoryVouchesForThem) {
    const auto der = FixtureEntitlements::derBlob(sandboxWithClient());
    const struct {
        bool xml;
        std::optional<std::vector<std::uint8_t>> der;
        std::uint32_t flags;
        bool hashed;
        /// Flip the last byte of the XML blob after signing.
        bool tamper;
        std::optional<ZREntitlements> expected;
    } cases[] = {
        // Both forms with the hardened runtime, and the DER form alone.
        {true, der, 0x10000, true, false, ZREntitlements{true, true, false, true, {}}},
        {false, der, 0, true, false, ZREntitlements{true, true, false, false, {}}},
        // Blobs the directory does not hash are ignored; malformed ones are reported and the signature
        // stands.
        {true, std::nullopt, 0, false, false, ZREntitlements{}},
        {false, FixtureEntitlements::blob(0xfade7172, {0x70, 0x05}), 0, true, false,
         ZREntitlements{false, false, false, false, "error"}},
        // Altered ones break the signature.
        {true, std::nullopt, 0, true, true, std::nullopt},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& test = cases[index];
        SCOPED_TRACE(index);
        auto options = developerIDOptions();
        if (test.xml) {
            options.entitlements = FixtureEntitlements::xmlBlob(sandboxWithClient());
        }
        options.derEntitlements = test.der;
        options.extraFlags = test.flags;
        options.hashEntitlements = test.hashed;
        auto bytes = FixtureSigner::sign(executable(), options);
        if (test.tamper) {
            const auto& blob = *options.entitlements;
            const auto found = std::search(bytes.begin(), bytes.end(), blob.begin(), blob.end());
            ASSERT_NE(found, bytes.end());
            *(found + static_cast<std::ptrdiff_t>(blob.size()) - 1) ^= 0x01;
        }
        const auto result = check(write(folder, "signed", bytes));
        EXPECT_EQ(result->validity(), test.expected ? 1U : 2U);
        ASSERT_EQ(result->entitlements().has_value(), test.expected.has_value());
        if (test.expected) {
            auto read = *result->entitlements();
            EXPECT_EQ(read.error.has_value(), test.expected->error.has_value()) << read.error.value_or("");
            read.error = test.expected->error;
            EXPECT_EQ(read, *test.expected);
        }
    }
}

} // namespace
