#pragma once

#include "Support/TemporaryFolder.h"
#include "ZRFoundation/CodeSigning/ZRTrustEvaluator.h"
#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

/// Shared fixture material for the code-signing tests: one certificate hierarchy per process and
/// helpers that sign executables into a temporary folder.
namespace CodeSigningFixtures {

const FixtureCertificateHierarchy& hierarchy();
/// The hierarchy's root, as an extra trust anchor.
std::vector<ZRTrustEvaluator::Certificate> fixtureAnchors();

inline const std::string infoPlist =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "\t<key>CFBundleIdentifier</key>\n\t<string>com.example.fixture</string>\n"
    "\t<key>CFBundleName</key>\n\t<string>Fixture</string>\n</dict>\n</plist>\n";

FixtureMachOBuilder::Executable
executable(FixtureMachOBuilder::Architecture architecture = FixtureMachOBuilder::Architecture::x86_64,
           bool withInfoPlist = true);
/// Options for a Developer ID signature by the hierarchy's leaf, with its designated requirement.
FixtureSigner::Options developerIDOptions();
FixtureSigner::Options optionsSignedBy(const FixtureCertificate& leaf);
FixtureSigner::Options adhocOptions(FixtureSigner::Kind kind = FixtureSigner::Kind::adhoc);

std::filesystem::path write(const TemporaryFolder& folder, const std::string& name,
                            const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read(const std::filesystem::path& path);

} // namespace CodeSigningFixtures
