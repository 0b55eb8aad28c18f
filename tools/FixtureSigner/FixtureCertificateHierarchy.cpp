#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"

FixtureCertificateHierarchy FixtureCertificateHierarchy::make(std::int64_t leafNotBeforeOffset,
                                                              std::int64_t leafNotAfterOffset,
                                                              const std::string& rootCommonName) {
    FixtureCertificate::Options authority;
    authority.isCertificateAuthority = true;
    authority.notBeforeOffset = -20L * 365 * 86400;
    authority.notAfterOffset = 20L * 365 * 86400;
    const auto root =
        FixtureCertificate::makeRoot({rootCommonName, std::string("Fixture Inc."),
                                      std::string("Fixture Certification Authority"), std::nullopt},
                                     authority);
    FixtureCertificate::Options intermediateOptions = authority;
    intermediateOptions.markerOIDs = {developerIDIntermediateMarker};
    const auto intermediate =
        FixtureCertificate::makeIssued(root,
                                       {"Developer ID Certification Authority", std::string("Fixture Inc."),
                                        std::string("Fixture Certification Authority"), std::nullopt},
                                       intermediateOptions);

    auto leaf = [&](const std::string& commonName, const std::string& organization, const char* marker) {
        FixtureCertificate::Options options;
        options.codeSigning = true;
        options.notBeforeOffset = leafNotBeforeOffset;
        options.notAfterOffset = leafNotAfterOffset;
        if (marker != nullptr) {
            options.markerOIDs = {marker};
        }
        return FixtureCertificate::makeIssued(
            intermediate,
            {commonName, organization, std::string(teamIdentifier), std::string(teamIdentifier)}, options);
    };
    FixtureCertificate::Options selfSignedOptions;
    selfSignedOptions.codeSigning = true;
    selfSignedOptions.markerOIDs = {developerIDMarker};
    FixtureCertificate::Options timestampOptions;
    timestampOptions.timeStamping = true;
    timestampOptions.notBeforeOffset = -20L * 365 * 86400;
    timestampOptions.notAfterOffset = 20L * 365 * 86400;

    return FixtureCertificateHierarchy{
        root,
        intermediate,
        leaf("Developer ID Application: Fixture Developer (FIXTURE123)", "Fixture Developer",
             developerIDMarker),
        leaf("Apple Development: Fixture Person (FIXTURE123)", "Fixture Developer", developmentMarker),
        leaf("Apple Mac OS Application Signing", "Fixture Store Developer", macAppStoreMarker),
        leaf("Software Signing", "Fixture Inc.", appleSoftwareMarker),
        leaf("Fixture Plain Signer", "Fixture Plain Organization", nullptr),
        FixtureCertificate::makeRoot({"Self Signed Developer", std::string("Self Signed Organization"),
                                      std::string(teamIdentifier), std::string(teamIdentifier)},
                                     selfSignedOptions),
        FixtureCertificate::makeIssued(root,
                                       {"Fixture Timestamp Authority", std::string("Fixture Inc."),
                                        std::string("Fixture Certification Authority"), std::nullopt},
                                       timestampOptions),
    };
}
