#pragma once

#include "Support/CodeSigningFixtures.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureChecker.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureValidator.h"

#include <filesystem>
#include <string>

#include <gmock/gmock.h>

/// Checks and the one-line view of their results, shared by the code-signing tests.
namespace CodeSigningTestSupport {

/// Checks `path` without the cache, trusting the fixture root unless `withAnchors` is false.
inline ZRCodeSignatureChecker::Result
check(const std::filesystem::path& path, ZRCodeSignatureCheckOptions options = 0, bool withAnchors = true) {
    return ZRCodeSignatureChecker::checkFileURL(path, options | ZRCodeSignatureCheckIgnoreCache,
                                                withAnchors ? CodeSigningFixtures::fixtureAnchors()
                                                            : std::vector<ZRTrustEvaluator::Certificate>());
}

/// Validates the executable at `path` with the given extra anchors.
inline ZRCodeSignatureValidator::Outcome
validate(const std::filesystem::path& path,
         std::vector<ZRTrustEvaluator::Certificate> anchors = CodeSigningFixtures::fixtureAnchors()) {
    auto request = ZRCodeSignatureChecker::requestForOptions(path, 0);
    request.extraTrustAnchors = std::move(anchors);
    return ZRCodeSignatureValidator::validate(request);
}

/// An outcome with the given status whose description contains `text`.
MATCHER_P2(FailsWith, status, text, "") {
    *result_listener << "status " << arg.status << ": " << arg.description;
    return arg.status == status && arg.description.find(text) != std::string::npos;
}

/// A result's validity and certificate kind as one value: "1 developerID".
inline std::string verdict(const ZRCodeSignatureCheckResult& result) {
    static const char* const types[] = {"none",        "adhoc", "developerID", "development",
                                        "macAppStore", "apple", "other"};
    return std::to_string(result.validity())
        .append(" ")
        .append(types[static_cast<int>(result.certificateType())]);
}

/// What a result names, "-" for what is absent: "identifier | team | subject | unit | issuer".
inline std::string names(const ZRCodeSignatureCheckResult& result) {
    std::string text = result.identifier().value_or("-");
    for (const auto& name :
         {result.teamIdentifier(), result.certificateSubjectDisplayString(),
          result.certificateSubjectUnitString(), result.certificateIssuerDisplayString()}) {
        text.append(" | ").append(name.value_or("-"));
    }
    return text;
}

} // namespace CodeSigningTestSupport
