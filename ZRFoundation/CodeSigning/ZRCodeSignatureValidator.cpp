#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"

#include "ZRFoundation/CodeSigning/ZRCMSSignature.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeSigningDigest.h"
#include "ZRFoundation/CodeSigning/ZREmbeddedSignature.h"
#include "ZRFoundation/CodeSigning/ZRMachOFile.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"
#include "ZRFoundation/CodeSigning/ZRTimestampToken.h"
#include "ZRFoundation/PropertyList/ZRPropertyListReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

using Outcome = ZRCodeSignatureValidator::Outcome;
using Request = ZRCodeSignatureValidator::Request;
using SigningInformation = ZRCodeSignatureValidator::SigningInformation;

constexpr std::uint32_t forceExpirationFlag = 0x400;
/// Leaf classes whose subject OU must repeat the code directory's team identifier.
constexpr const char* developerCertificateOIDs[] = {"1.2.840.113635.100.6.1.13", "1.2.840.113635.100.6.1.12",
                                                    "1.2.840.113635.100.6.1.9", "1.2.840.113635.100.6.1.7"};

struct Failure {
    ZROSStatus::Value status;
    std::string description;
};
using Step = std::optional<Failure>;

std::string slotName(std::uint32_t slot) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", slot);
    return text;
}

const char* hostArchitecture() {
#if defined(__aarch64__)
    return "arm64";
#else
    return "x86_64";
#endif
}

/// The cdhash list of the 1.2.840.113635.100.9.1 attribute: a property list {cdhashes: [data]}.
std::optional<std::vector<std::vector<std::uint8_t>>>
cdhashesFromPropertyList(std::span<const std::uint8_t> bytes) {
    const auto parsed = ZRPropertyListReader::readPropertyList(bytes);
    if (!parsed) {
        return std::nullopt;
    }
    const auto* dictionary = parsed.value->dictionaryValue();
    const auto* entry = dictionary ? dictionary->find("cdhashes") : nullptr;
    const auto* array = entry ? entry->arrayValue() : nullptr;
    if (array == nullptr) {
        return std::nullopt;
    }
    std::vector<std::vector<std::uint8_t>> hashes;
    for (const auto& item : *array) {
        const auto* data = item.dataValue();
        if (data == nullptr) {
            return std::nullopt;
        }
        hashes.push_back(*data);
    }
    return hashes;
}

/// String values of an Info.plist, for requirements that test info[key].
std::function<std::optional<std::string>(std::string_view)>
infoLookup(const std::optional<std::vector<std::uint8_t>>& bytes) {
    if (!bytes) {
        return {};
    }
    auto parsed =
        std::make_shared<ZRPropertyListReader::Result>(ZRPropertyListReader::readPropertyList(*bytes));
    return [parsed](std::string_view key) -> std::optional<std::string> {
        if (!*parsed) {
            return std::nullopt;
        }
        const auto* dictionary = parsed->value->dictionaryValue();
        const auto* value = dictionary ? dictionary->find(key) : nullptr;
        const auto* text = value ? value->stringValue() : nullptr;
        return text ? std::optional<std::string>(*text) : std::nullopt;
    };
}

class SliceValidator {
public:
    SliceValidator(const ZRMachOSlice& slice, const Request& request, const ZRTrustEvaluator& evaluator,
                   SigningInformation& information)
        : _slice(slice)
        , _request(request)
        , _evaluator(evaluator)
        , _information(information) {}

    Step run() {
        _information.architecture = _slice.architectureName();
        if (!_slice.codeSignature) {
            return Failure{ZROSStatus::errSecCSUnsigned, "code object is not signed at all"};
        }
        auto signature = ZREmbeddedSignature::parse(_slice.signatureBytes());
        if (!signature) {
            return Failure{signature.error().status, signature.error().description};
        }
        _signature.emplace(std::move(signature).value());
        recordInformation();
        if (auto failure = verifySignature()) {
            return failure;
        }
        if (auto failure = checkSpecialSlots()) {
            return failure;
        }
        if (auto failure = checkPages()) {
            return failure;
        }
        return checkRequirement();
    }

    /// Checks that only strict validation makes: a signing limit that is exactly the signature's
    /// offset.
    Step checkStrictLimits() const {
        if (!_signature) {
            return std::nullopt;
        }
        for (const auto& directory : _signature->codeDirectories()) {
            if (directory.codeLimit() != _slice.codeSignature->offset) {
                return Failure{ZROSStatus::errSecCSSignatureInvalid,
                               "code directory's code limit is not the start of the signature"};
            }
        }
        return std::nullopt;
    }

private:
    std::span<const std::uint8_t> boundInfoPlist() const {
        if (_request.infoPlist) {
            return *_request.infoPlist;
        }
        return _slice.infoPlistBytes();
    }
    bool hasBoundInfoPlist() const {
        return _request.infoPlist.has_value() || _slice.infoPlistSection.has_value();
    }

    /// The blob of a special slot, when the directory holds its hash and the hash matches.
    std::optional<std::span<const std::uint8_t>> vouchedBlob(const ZRCodeDirectory& directory,
                                                             std::uint32_t slot) const {
        const auto blob = _signature->blob(slot);
        if (!blob || !directory.hasSpecialSlot(slot)) {
            return std::nullopt;
        }
        const auto expected = *directory.specialSlotHash(slot);
        const auto digest = ZRCodeSigningDigest::digest(directory.hashType(), *blob);
        if (!std::equal(expected.begin(), expected.end(), digest.begin(), digest.end())) {
            return std::nullopt;
        }
        return blob;
    }

    void recordInformation() {
        const auto& best = _signature->bestCodeDirectory();
        _information.isSigned = true;
        _information.flags = best.flags();
        _information.identifier = best.identifier();
        _information.teamIdentifier = best.teamIdentifier();
        _information.cdhash = best.cdhash();
        _information.platform = best.platform();
        _information.sealsResourceDirectory = best.hasSpecialSlot(ZRCodeDirectory::resourceDirectorySlot);
        if (hasBoundInfoPlist()) {
            const auto bytes = boundInfoPlist();
            _information.infoPlist = std::vector<std::uint8_t>(bytes.begin(), bytes.end());
        }
        _information.entitlements =
            ZREntitlements::make(vouchedBlob(best, ZRCodeDirectory::entitlementsSlot),
                                 vouchedBlob(best, ZRCodeDirectory::derEntitlementsSlot), best.flags());
        if (const auto requirements = _signature->blob(ZRCodeDirectory::requirementsSlot)) {
            const auto set = ZRCodeRequirement::requirementSet(*requirements);
            if (set) {
                const auto designated = set->find(ZRCodeRequirement::designatedRequirementType);
                if (designated != set->end()) {
                    _information.designatedRequirement = designated->second.text();
                }
            }
        }
    }

    Step verifySignature() {
        const auto& baseDirectory = _signature->codeDirectories().front();
        const auto cms = _signature->cmsSignature();
        if (!cms || cms->empty()) {
            if ((baseDirectory.flags() & ZRCodeDirectory::flagAdhoc) != 0) {
                return std::nullopt;
            }
            return Failure{ZROSStatus::errSecCSSignatureFailed,
                           "signature has no CMS signature and is not ad hoc"};
        }
        auto parsed = ZRCMSSignature::parse(*cms);
        if (!parsed) {
            return Failure{parsed.error().status, parsed.error().description};
        }
        const ZRCMSSignature& signature = *parsed;
        _information.signingTime = signature.signingTime();
        if (!signature.signerDigestIsKnown()) {
            return Failure{ZROSStatus::errSecCSSignatureNotVerifiable,
                           "CMS signer uses an unknown digest algorithm"};
        }
        std::string failure;
        if (!signature.verifyContent(baseDirectory.bytes(), failure)) {
            return Failure{ZROSStatus::errSecCSSignatureFailed, failure};
        }
        if (auto attributeFailure = checkCodeDirectoryHashAttributes(signature)) {
            return attributeFailure;
        }
        std::optional<ZRTimestampToken> timestamp;
        if (const auto token = signature.timestampToken()) {
            auto parsedToken = ZRTimestampToken::parse(*token);
            if (!parsedToken) {
                return Failure{parsedToken.error().status, parsedToken.error().description};
            }
            if (!parsedToken->imprintMatches(signature.signatureValue())) {
                return Failure{ZROSStatus::errSecCSSignatureFailed, "timestamp does not cover the signature"};
            }
            timestamp.emplace(std::move(parsedToken).value());
            _information.timestamp = timestamp->time();
        }
        const auto evaluation = _evaluator.evaluate(signature.signerCertificate(), signature.certificates(),
                                                    _information.timestamp);
        _information.certificates = evaluation.chain;
        _information.appleAnchored = evaluation.anchored();
        _information.extraAnchorUsed = evaluation.extraAnchored;
        _information.trustErrorDescription = evaluation.trustErrorDescription;
        if (evaluation.status != ZROSStatus::success) {
            return Failure{evaluation.status, "certificate chain: " + evaluation.trustErrorDescription};
        }
        if (!timestamp && evaluation.expired && (baseDirectory.flags() & forceExpirationFlag) != 0) {
            return Failure{ZROSStatus::trustCertificateExpired, "the signing certificate has expired"};
        }
        if (timestamp) {
            const auto timestampEvaluation = _evaluator.evaluate(
                timestamp->signerCertificate(), timestamp->certificates(), timestamp->time());
            if (timestampEvaluation.status != ZROSStatus::success) {
                return Failure{timestampEvaluation.status,
                               "timestamp certificate chain: " + timestampEvaluation.trustErrorDescription};
            }
            if (evaluation.anchored() && !timestampEvaluation.anchored()) {
                return Failure{ZROSStatus::trustNotTrusted,
                               "timestamp authority is not anchored like the signature"};
            }
        }
        return checkTeamIdentifier();
    }

    Step checkCodeDirectoryHashAttributes(const ZRCMSSignature& signature) const {
        const auto& directories = _signature->codeDirectories();
        if (const auto plist = signature.codeDirectoryHashesPropertyList()) {
            const auto listed = cdhashesFromPropertyList(*plist);
            std::vector<std::vector<std::uint8_t>> expected;
            for (const auto& directory : directories) {
                expected.push_back(directory.cdhash());
            }
            if (!listed || *listed != expected) {
                return Failure{ZROSStatus::errSecCSSignatureFailed,
                               "the signed cdhash list does not match the code directories"};
            }
        }
        bool malformed = false;
        if (const auto hashes = signature.codeDirectoryHashes(malformed); hashes || malformed) {
            if (malformed || hashes->size() != directories.size()) {
                return Failure{ZROSStatus::errSecCSSignatureFailed,
                               "the signed code directory hashes are malformed"};
            }
            bool bestListed = false;
            for (const auto& directory : directories) {
                const std::uint8_t algorithm = directory.hashType() == ZRCodeSigningDigest::sha256Truncated
                                                   ? ZRCodeSigningDigest::sha256
                                                   : directory.hashType();
                const auto entry = std::find_if(hashes->begin(), hashes->end(),
                                                [&](const auto& hash) { return hash.hashType == algorithm; });
                if (entry == hashes->end()) {
                    continue;
                }
                if (entry->digest != directory.fullHash()) {
                    return Failure{ZROSStatus::errSecCSSignatureFailed,
                                   "the signed hash of a code directory does not match it"};
                }
                bestListed = bestListed || &directory == &_signature->bestCodeDirectory();
            }
            if (!bestListed) {
                return Failure{ZROSStatus::errSecCSSignatureFailed,
                               "the chosen code directory is not signed"};
            }
        }
        return std::nullopt;
    }

    Step checkTeamIdentifier() const {
        const auto& team = _signature->codeDirectories().front().teamIdentifier();
        if (!team || _information.certificates.empty()) {
            return std::nullopt;
        }
        const auto leaf = ZRCertificate::fromDER(_information.certificates.front());
        if (!leaf) {
            return std::nullopt;
        }
        const bool developer =
            std::any_of(std::begin(developerCertificateOIDs), std::end(developerCertificateOIDs),
                        [&](const char* oid) { return leaf->hasExtension(oid); });
        const auto units = leaf->subjectValues("OU");
        if (developer && (units.empty() || units.front() != *team)) {
            return Failure{ZROSStatus::errSecCSBadTeamIdentifier,
                           "team identifier differs from the signing certificate's"};
        }
        return std::nullopt;
    }

    std::optional<std::span<const std::uint8_t>> specialSlotData(std::uint32_t slot) const {
        if (slot == ZRCodeDirectory::infoSlot) {
            return hasBoundInfoPlist() ? std::optional(boundInfoPlist()) : std::nullopt;
        }
        if (slot == ZRCodeDirectory::resourceDirectorySlot) {
            return _request.resourceDirectory
                       ? std::optional<std::span<const std::uint8_t>>(*_request.resourceDirectory)
                       : std::nullopt;
        }
        return _signature->blob(slot);
    }

    static ZROSStatus::Value errorForSlot(std::uint32_t slot) {
        switch (slot) {
        case ZRCodeDirectory::infoSlot:
            return ZROSStatus::errSecCSInfoPlistFailed;
        case ZRCodeDirectory::resourceDirectorySlot:
            return ZROSStatus::errSecCSResourceDirectoryFailed;
        default:
            return ZROSStatus::errSecCSSignatureFailed;
        }
    }

    Step checkSpecialSlots() const {
        for (std::size_t index = 0; index < _signature->codeDirectories().size(); ++index) {
            const auto& directory = _signature->codeDirectories()[index];
            const std::uint32_t slotCount = directory.specialSlotCount();
            for (std::uint32_t slot = slotCount; slot >= 1; --slot) {
                // The resource directory is judged with the resources, and only when given; the
                // top-directory slot is a relic of early signatures.
                if ((slot == ZRCodeDirectory::resourceDirectorySlot && !_request.resourceDirectory) ||
                    slot == ZRCodeDirectory::topDirectorySlot || !directory.hasSpecialSlot(slot)) {
                    continue;
                }
                const std::string place = "code directory " +
                                          slotName(_signature->codeDirectorySlots()[index]) +
                                          ": special slot " + std::to_string(slot);
                const auto data = specialSlotData(slot);
                if (!data) {
                    return Failure{errorForSlot(slot), place + " is hashed but its data is missing"};
                }
                const auto expected = *directory.specialSlotHash(slot);
                const auto digest = ZRCodeSigningDigest::digest(directory.hashType(), *data);
                if (!std::equal(expected.begin(), expected.end(), digest.begin(), digest.end())) {
                    return Failure{errorForSlot(slot), place + " hash mismatch"};
                }
            }
        }
        return std::nullopt;
    }

    Step checkPages() const {
        const auto bytes = _slice.bytes;
        for (std::size_t index = 0; index < _signature->codeDirectories().size(); ++index) {
            const auto& directory = _signature->codeDirectories()[index];
            const std::string place =
                "code directory " + slotName(_signature->codeDirectorySlots()[index]) + ": ";
            const std::uint64_t limit = directory.codeLimit();
            if (limit > bytes.size()) {
                return Failure{ZROSStatus::errSecCSSignatureFailed,
                               place + "code limit lies beyond the slice"};
            }
            const std::uint64_t pageSize =
                directory.pageSizeShift() == 0 ? limit : std::uint64_t{1} << directory.pageSizeShift();
            ZRCodeSigningDigest digest(directory.hashType());
            std::uint8_t computed[ZRCodeSigningDigest::maximumSize];
            for (std::uint32_t page = 0; page < directory.codeSlotCount(); ++page) {
                const std::uint64_t start = std::uint64_t{page} * pageSize;
                const std::uint64_t length = std::min(pageSize, limit - start);
                const auto expected = directory.codeSlotHash(page);
                if (!digest.digestInto(bytes.subspan(start, length), computed) ||
                    std::memcmp(computed, expected.data(), expected.size()) != 0) {
                    return Failure{ZROSStatus::errSecCSSignatureFailed,
                                   place + "page " + std::to_string(page) + " hash mismatch"};
                }
            }
        }
        return std::nullopt;
    }

    Step checkRequirement() const {
        if (!_request.requirement) {
            return std::nullopt;
        }
        ZRCodeRequirement::Context context;
        context.identifier = _information.identifier.value_or("");
        context.certificates = _information.certificates;
        context.appleAnchored = _information.appleAnchored;
        context.cdhash = _information.cdhash;
        context.platform = _information.platform;
        context.infoValue = infoLookup(_information.infoPlist);
        const auto status = _request.requirement->evaluate(context);
        if (status != ZROSStatus::success) {
            return Failure{status, "code failed to satisfy the requirement " + _request.requirement->text()};
        }
        return std::nullopt;
    }

    const ZRMachOSlice& _slice;
    const Request& _request;
    const ZRTrustEvaluator& _evaluator;
    SigningInformation& _information;
    std::optional<ZREmbeddedSignature> _signature;
};

} // namespace

Outcome ZRCodeSignatureValidator::validate(const Request& request) {
    std::error_code error;
    const auto file = ZRMappedFile::open(request.executable, ZRMappedFile::Links::follow, error);
    if (!file) {
        Outcome outcome;
        outcome.creationError = ZRCodeSigningError{error == std::errc::no_such_file_or_directory
                                                       ? ZROSStatus::errSecCSStaticCodeNotFound
                                                       : ZROSStatus::errSecIO,
                                                   request.executable.string() + ": " + error.message()};
        outcome.status = outcome.creationError->status;
        outcome.description = outcome.creationError->description;
        return outcome;
    }
    return validate(file->bytes(), request);
}

Outcome ZRCodeSignatureValidator::validate(std::span<const std::uint8_t> bytes, const Request& request) {
    Outcome outcome;
    auto fail = [&](ZROSStatus::Value status, std::string description) {
        outcome.status = status;
        outcome.description = std::move(description);
        return outcome;
    };
    if (!ZRMachOFile::isMachO(bytes)) {
        // Not an executable format that carries a signature: plain unsigned data.
        return fail(ZROSStatus::errSecCSUnsigned, "code object is not signed at all");
    }
    const auto file = ZRMachOFile::parse(bytes);
    if (!file) {
        outcome.creationError = file.error();
        return fail(file.error().status, file.error().description);
    }
    // The slice this host would run, or the requested one; the others follow.
    std::vector<const ZRMachOSlice*> order;
    for (const auto& slice : file->slices()) {
        if (request.architecture ? slice.architectureName() == *request.architecture
                                 : slice.architectureName() == hostArchitecture()) {
            order.push_back(&slice);
            break;
        }
    }
    if (order.empty()) {
        if (request.architecture) {
            outcome.creationError = ZRCodeSigningError{ZROSStatus::errSecCSBadObjectFormat,
                                                       "the file has no " + *request.architecture + " slice"};
            return fail(outcome.creationError->status, outcome.creationError->description);
        }
        order.push_back(&file->slices().front());
    }
    if (request.allArchitectures && !request.architecture) {
        for (const auto& slice : file->slices()) {
            if (&slice != order.front()) {
                order.push_back(&slice);
            }
        }
    }

    const ZRTrustEvaluator evaluator(request.extraTrustAnchors);
    for (std::size_t index = 0; index < order.size(); ++index) {
        SigningInformation sliceInformation;
        SigningInformation& information = index == 0 ? outcome.information : sliceInformation;
        SliceValidator validator(*order[index], request, evaluator, information);
        if (auto failure = validator.run()) {
            const std::string prefix =
                file->isUniversal() ? "architecture " + order[index]->architectureName() + ": " : "";
            return fail(failure->status, prefix + failure->description);
        }
        if (request.strict) {
            if (auto failure = validator.checkStrictLimits()) {
                return fail(failure->status, failure->description);
            }
        }
    }
    if (request.strict && file->strictProblem()) {
        return fail(ZROSStatus::errSecCSBadMainExecutable,
                    "main executable failed strict validation: " + *file->strictProblem());
    }
    return outcome;
}
