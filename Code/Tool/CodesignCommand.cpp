// lumora codesign: checks the code signature of one executable or bundle and prints the check
// result, the problems found (one per line, each with its path) and the signing record of every
// architecture slice of the main executable.

#include "Code/Tool/LumoraTool.h"
#include "Code/Tool/TerminalText.h"
#include "Code/Tool/ToolJSON.h"
#include "Code/Tool/ToolOptions.h"
#include "ZRFoundation/CodeSigning/ZRBundleSignatureValidator.h"
#include "ZRFoundation/CodeSigning/ZRCertificate.h"
#include "ZRFoundation/CodeSigning/ZRCodeInfo.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/Crypto/ZRDigest.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

namespace LumoraTool {

namespace {

using json = nlohmann::ordered_json;

std::string hex(std::span<const std::uint8_t> bytes) {
    return ZRDigest::hexString(bytes);
}

template <typename T>
json optionalJSON(const std::optional<T>& value) {
    return value ? json(*value) : json(nullptr);
}

json optionalHex(const std::optional<std::vector<std::uint8_t>>& bytes) {
    return bytes ? json(hex(*bytes)) : json(nullptr);
}

json propertyListJSON(const ZRPropertyList& value, int depth = 0) {
    if (depth > 64) {
        return nullptr;
    }
    using Type = ZRPropertyList::Type;
    switch (value.type()) {
    case Type::Null:
        return nullptr;
    case Type::String:
        return *value.stringValue();
    case Type::Integer:
        return *value.integerValue();
    case Type::Real:
        return *value.realValue();
    case Type::Boolean:
        return *value.booleanValue();
    case Type::Date:
        return value.description();
    case Type::Data:
        return hex(*value.dataValue());
    case Type::Array: {
        json array = json::array();
        for (const auto& item : *value.arrayValue()) {
            array.push_back(propertyListJSON(item, depth + 1));
        }
        return array;
    }
    case Type::Dictionary: {
        json object = json::object();
        for (const auto& [key, item] : *value.dictionaryValue()) {
            object[key] = propertyListJSON(item, depth + 1);
        }
        return object;
    }
    }
    return nullptr;
}

json dictionaryJSON(const std::optional<ZRPropertyListDictionary>& dictionary) {
    return dictionary ? propertyListJSON(ZRPropertyList::dictionary(*dictionary)) : json(nullptr);
}

json resultJSON(const ZRCodeSignatureCheckResult& result) {
    json certificates = nullptr;
    if (result.certificates()) {
        certificates = json::array();
        for (const auto& der : *result.certificates()) {
            const auto certificate = ZRCertificate::fromDER(der);
            certificates.push_back({{"subject", certificate ? certificate->subjectSummary() : ""},
                                    {"issuer", certificate ? certificate->issuerSummary() : ""},
                                    {"sha256", certificate ? hex(certificate->sha256()) : ""}});
        }
    }
    json details = nullptr;
    if (result.details()) {
        details = json::object();
        for (const auto& [kind, paths] : *result.details()) {
            details[kind] = paths;
        }
    }
    return {
        {"mainExecutableFileURL",
         result.mainExecutableFileURL() ? json(result.mainExecutableFileURL()->string()) : json(nullptr)},
        {"validity", result.validity()},
        {"certificateType", static_cast<int>(result.certificateType())},
        {"codeDirectoryHash", optionalHex(result.codeDirectoryHash())},
        {"identifier", optionalJSON(result.identifier())},
        {"teamIdentifier", optionalJSON(result.teamIdentifier())},
        {"localizedTrustEvaluationErrorDescription",
         optionalJSON(result.localizedTrustEvaluationErrorDescription())},
        {"certificateIssuerDisplayString", optionalJSON(result.certificateIssuerDisplayString())},
        {"certificateSubjectDisplayString", optionalJSON(result.certificateSubjectDisplayString())},
        {"certificateSubjectUnitString", optionalJSON(result.certificateSubjectUnitString())},
        {"certificates", certificates},
        {"bundleResourceFileInfos", dictionaryJSON(result.bundleResourceFileInfos())},
        {"infoPList", dictionaryJSON(result.infoPList())},
        {"details", details},
        {"usedExtraTrustAnchor", result.usedExtraTrustAnchor()},
    };
}

json sliceJSON(const ZRCodeInfo& info) {
    return {
        {"cpuType", info.cpuType},
        {"cpuSubtype", info.cpuSubtype},
        {"cdHash", optionalHex(info.cdHash)},
        {"cdHash256", optionalHex(info.cdHash256)},
        {"cdIdentifier", optionalJSON(info.cdIdentifier)},
        {"cdTeamIdentifier", optionalJSON(info.cdTeamIdentifier)},
        {"signatureIsCryptographicallyCorrect", info.signatureIsCryptographicallyCorrect},
        {"signatureIsFormallyCorrect", info.signatureIsFormallyCorrect},
        {"signatureHasTrustedAnchor", info.signatureHasTrustedAnchor},
        {"signatureCertificateIsRevoked", info.signatureCertificateIsRevoked},
        {"signatureCertificateType", static_cast<int>(info.signatureCertificateType)},
        {"signerPublicKeySHA256", optionalHex(info.signerPublicKeySHA256)},
        {"signerUserID", optionalJSON(info.signerUserID)},
        {"signerOrganizationalUnit", optionalJSON(info.signerOrganizationalUnit)},
        {"rootCACommonName", optionalJSON(info.rootCACommonName)},
        {"rootCAOrganization", optionalJSON(info.rootCAOrganization)},
        {"signerCommonName", optionalJSON(info.signerCommonName)},
        {"signerOrganization", optionalJSON(info.signerOrganization)},
        {"kernelCSFlags", info.kernelCSFlags},
        {"hasTrustedSignature", info.hasTrustedSignature()},
        {"authorDisplayString", optionalJSON(info.authorDisplayString())},
        {"authorDisplayStringWithTeamID", info.authorDisplayStringWithTeamID()},
    };
}

const char* validityName(std::uint64_t validity) {
    static constexpr const char* names[] = {"invalid",
                                            "valid",
                                            "signature broken",
                                            "sealed resources or Info.plist damaged",
                                            "not signed",
                                            "ad hoc",
                                            "not anchored at an Apple certificate",
                                            "certificate revoked",
                                            "cannot be checked"};
    return validity < std::size(names) ? names[validity] : "unknown";
}

// What a check found wrong, each with the path it concerns, relative to the bundle folder:
// resource problems from the result's details, nested code that failed, and the item a bundle
// failure is about.
json problemsJSON(const ZRCodeSignatureCheckResult* result, const std::filesystem::path& bundlePath,
                  const ZRBundleSignatureValidator::Outcome* bundle, ZROSStatus::Value status) {
    json problems = json::array();
    // Resource paths are relative to the content folder.
    const auto inBundle = [&](const std::string& path) {
        if (bundle == nullptr || bundle->contentsPath.empty()) {
            return path;
        }
        return (bundle->contentsPath.lexically_relative(bundlePath) / path).lexically_normal().string();
    };
    if (result != nullptr && result->details()) {
        static const std::pair<const char*, const char*> kinds[] = {
            {ZRBundleSignatureValidator::resourceAddedKey, "added"},
            {ZRBundleSignatureValidator::resourceAlteredKey, "altered"},
            {ZRBundleSignatureValidator::resourceMissingKey, "missing"},
            {"SecCSResourceHasSidebandData", "sideband data"}};
        for (const auto& [key, kind] : kinds) {
            if (const auto found = result->details()->find(key); found != result->details()->end()) {
                for (const auto& path : found->second) {
                    json problem{{"kind", kind}};
                    ToolJSON::appendPath(problem, inBundle(path));
                    problems.push_back(std::move(problem));
                }
            }
        }
    }
    if (bundle == nullptr) {
        return problems;
    }
    for (const auto& failure : bundle->nestedCodeFailures) {
        const bool requirement = failure.status == ZROSStatus::errSecCSReqFailed;
        json problem{{"kind", requirement ? "nested code fails its requirement" : "nested code invalid"}};
        ToolJSON::appendPath(problem, inBundle(failure.path));
        problem["status"] = failure.status;
        problems.push_back(std::move(problem));
    }
    // Failed nested code is already named above.
    if (!bundle->failurePath.empty() && status != ZROSStatus::success && bundle->nestedCodeFailures.empty()) {
        json problem{{"kind", ZROSStatus::description(status)}};
        ToolJSON::appendPath(problem, bundle->failurePath);
        problem["status"] = status;
        problems.push_back(std::move(problem));
    }
    return problems;
}

// A member shown as text: a string as it is, anything else as JSON.
void appendValue(TerminalText& text, const json& value) {
    if (value.is_string()) {
        text << value.get_ref<const std::string&>();
    } else {
        text.appendJSON(value);
    }
}

TerminalText resultText(const json& result) {
    TerminalText text;
    const auto validity = result["validity"].get<std::uint64_t>();
    text << "validity: " << validity << " (" << validityName(validity) << ")" << TerminalText::newline;
    for (const auto& [key, value] : result.items()) {
        if (key == "validity" || key == "certificates" || value.is_null()) {
            continue;
        }
        text << key << ": ";
        appendValue(text, value);
        text << TerminalText::newline;
    }
    if (result["certificates"].is_array()) {
        int index = 0;
        for (const auto& certificate : result["certificates"]) {
            text << "certificate " << index++ << ": " << certificate["subject"].get_ref<const std::string&>()
                 << TerminalText::newline
                 << "    issuer: " << certificate["issuer"].get_ref<const std::string&>()
                 << TerminalText::newline
                 << "    sha256: " << certificate["sha256"].get_ref<const std::string&>()
                 << TerminalText::newline;
        }
    }
    if (result["usedExtraTrustAnchor"].get<bool>()) {
        text << "note: trusted only through an anchor given with --extra-trust-anchors"
             << TerminalText::newline;
    }
    return text;
}

TerminalText outputText(const std::string& path, std::string_view options, ZROSStatus::Value status,
                        const std::string& statusText, const json& result, const json& error,
                        const json& problems, const json& slices) {
    TerminalText text;
    text << "path: " << path << TerminalText::newline << "options: " << options << TerminalText::newline
         << "status: " << status << " (" << statusText << ")" << TerminalText::newline;
    if (!error.is_null()) {
        text << "error: " << error["domain"].get_ref<const std::string&>() << " " << error["code"].get<int>()
             << ": " << error["description"].get_ref<const std::string&>() << TerminalText::newline;
    }
    if (!result.is_null()) {
        text << resultText(result);
    }
    for (const auto& problem : problems) {
        text << "problem: " << problem["kind"].get_ref<const std::string&>() << ": "
             << problem["path"].get_ref<const std::string&>() << TerminalText::newline;
    }
    int index = 0;
    for (const auto& slice : slices) {
        text << "slice " << index++ << ":" << TerminalText::newline;
        for (const auto& [key, value] : slice.items()) {
            text << "    " << key << ": ";
            appendValue(text, value);
            text << TerminalText::newline;
        }
    }
    return text;
}

} // namespace

int runCodesign(const std::vector<std::string>& arguments) {
    bool asJSON = false;
    bool verifyResources = false;
    ZRCodeSignatureCheckOptions options = 0;
    std::vector<ZRTrustEvaluator::Certificate> anchors;
    std::optional<std::string> path;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const auto& argument = arguments[index];
        if (argument == "--json") {
            asJSON = true;
        } else if (argument == "--verify-resources") {
            verifyResources = true;
        } else if (argument == "--options") {
            if (++index == arguments.size()) {
                return usageError("codesign", "--options needs a hexadecimal value, for example 0x21");
            }
            try {
                std::size_t used = 0;
                options = std::stoull(arguments[index], &used, 16);
                if (used != arguments[index].size()) {
                    throw std::invalid_argument("trailing text");
                }
            } catch (const std::exception&) {
                return usageError("codesign", "--options needs a hexadecimal value, not " + arguments[index]);
            }
        } else if (argument == "--extra-trust-anchors") {
            if (const auto problem = ToolOptions::consumeExtraTrustAnchors(arguments, index, anchors)) {
                return usageError("codesign", *problem);
            }
        } else if (argument.starts_with("-")) {
            return usageError("codesign", "unknown option " + argument);
        } else if (path) {
            return usageError("codesign", "codesign takes one path");
        } else {
            path = argument;
        }
    }
    if (!path) {
        return usageError("codesign", "no path given");
    }

    if (verifyResources) {
        options |= ZRCodeSignatureCheckValidateResources;
    }

    auto request = ZRCodeSignatureChecker::requestForOptions(*path, options);
    request.extraTrustAnchors = anchors;
    std::error_code directoryError;
    const bool isBundle = std::filesystem::is_directory(*path, directoryError);
    std::optional<ZRBundleSignatureValidator::Outcome> bundle;
    ZRCodeSignatureValidator::Outcome outcome;
    std::filesystem::path mainExecutable = *path;
    if (isBundle) {
        bundle = ZRBundleSignatureValidator::validate(ZRBundleSignatureValidator::Request{
            *path, request, (options & ZRCodeSignatureCheckValidateResources) != 0});
        outcome = bundle->executable;
        mainExecutable = bundle->mainExecutable;
    } else {
        outcome = ZRCodeSignatureValidator::validate(request);
    }
    json result = nullptr;
    json error = nullptr;
    json problems = json::array();
    std::uint64_t validity = 0;
    try {
        const auto checked =
            bundle ? ZRCodeSignatureChecker::resultForValidation(outcome, mainExecutable, options,
                                                                 bundle->sealedResources, bundle->problems)
                   : ZRCodeSignatureChecker::resultForValidation(outcome, mainExecutable, options);
        validity = checked->validity();
        result = resultJSON(*checked);
        problems = problemsJSON(checked.get(), *path, bundle ? &*bundle : nullptr, outcome.status);
    } catch (const ZRCodeSignatureCheckError& failure) {
        error = {{"domain", ZRCodeSignatureCheckError::domain},
                 {"code", failure.code()},
                 {"description", failure.errorDescription()}};
        problems = problemsJSON(nullptr, *path, bundle ? &*bundle : nullptr, outcome.status);
    }
    json slices = json::array();
    if (!mainExecutable.empty()) {
        try {
            // A bundle's executable is bound to the bundle's Info.plist and envelope: whether its
            // signature is cryptographically sound is the bundle's answer, not the file's alone.
            auto infos = ZRCodeInfo::readFromFileURL(mainExecutable, !isBundle, anchors);
            if (isBundle) {
                auto withoutRequirement = request;
                withoutRequirement.requirement.reset();
                const auto skipped = ZRCodeSignatureChecker::validityForStatus(
                    ZRBundleSignatureValidator::validate({*path, withoutRequirement, false})
                        .executable.status,
                    outcome.information.isAdhoc(), false);
                for (auto& info : infos) {
                    info.signatureIsCryptographicallyCorrect =
                        skipped == ZRCodeSignatureCheckResult::validityValid ||
                        skipped == ZRCodeSignatureCheckResult::validityAdhoc;
                }
            }
            for (const auto& info : infos) {
                slices.push_back(sliceJSON(info));
            }
        } catch (const ZRCodeInfoError&) {
            // A file without readable slices simply has no slice records.
        }
    }
    char optionsText[24];
    std::snprintf(optionsText, sizeof optionsText, "0x%llx", static_cast<unsigned long long>(options));
    if (asJSON) {
        json document = json::object();
        ToolJSON::appendPath(document, *path);
        document["options"] = optionsText;
        document["status"] = outcome.status;
        document["result"] = result;
        document["error"] = error;
        document["problems"] = problems;
        document["slices"] = slices;
        std::cout << ToolJSON::dump(document) << '\n';
    } else {
        std::cout << outputText(*path, optionsText, outcome.status,
                                outcome.description.empty() ? ZROSStatus::description(outcome.status)
                                                            : outcome.description,
                                result, error, problems, slices)
                         .string();
    }
    return validity == 1 ? exitSuccess : exitFailure;
}

} // namespace LumoraTool
