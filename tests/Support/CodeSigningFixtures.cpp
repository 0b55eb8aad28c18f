#include "Support/CodeSigningFixtures.h"

#include <fstream>
#include <iterator>

namespace CodeSigningFixtures {

const FixtureCertificateHierarchy& hierarchy() {
    static const FixtureCertificateHierarchy shared = FixtureCertificateHierarchy::make();
    return shared;
}

std::vector<ZRTrustEvaluator::Certificate> fixtureAnchors() {
    return {hierarchy().root.der()};
}

FixtureMachOBuilder::Executable executable(FixtureMachOBuilder::Architecture architecture,
                                           bool withInfoPlist) {
    FixtureMachOBuilder::Executable result;
    result.architecture = architecture;
    result.codeSize = 3 * 4096 + 100;
    if (withInfoPlist) {
        result.infoPlist = infoPlist;
    }
    return result;
}

FixtureSigner::Options optionsSignedBy(const FixtureCertificate& leaf) {
    FixtureSigner::Options options;
    options.identifier = "com.example.fixture";
    options.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
    options.signer = &leaf;
    options.chain = {&hierarchy().intermediate, &hierarchy().root};
    options.designatedRequirement = FixtureSigner::developerIDRequirement(
        options.identifier, FixtureCertificateHierarchy::teamIdentifier);
    return options;
}

FixtureSigner::Options developerIDOptions() {
    return optionsSignedBy(hierarchy().developerIDLeaf);
}

FixtureSigner::Options adhocOptions(FixtureSigner::Kind kind) {
    FixtureSigner::Options options;
    options.kind = kind;
    options.identifier = "com.example.adhoc";
    return options;
}

std::filesystem::path write(const TemporaryFolder& folder, const std::string& name,
                            const std::vector<std::uint8_t>& bytes) {
    return folder.write(name, std::string(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> read(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(stream)),
                                     std::istreambuf_iterator<char>());
}

} // namespace CodeSigningFixtures
