#pragma once

#include "tools/FixtureSigner/FixtureCertificateHierarchy.h"
#include "tools/FixtureSigner/FixtureSigner.h"

/// The test certificate hierarchy, made once per test program, and the Developer ID signing
/// options that use it. Its root is the extra trust anchor tests pass to the checker.
inline const FixtureCertificateHierarchy& fixtureHierarchy() {
    static const auto made = FixtureCertificateHierarchy::make();
    return made;
}

inline FixtureSigner::Options developerIDSigning() {
    FixtureSigner::Options options;
    options.signer = &fixtureHierarchy().developerIDLeaf;
    options.chain = {&fixtureHierarchy().intermediate, &fixtureHierarchy().root};
    options.teamIdentifier = FixtureCertificateHierarchy::teamIdentifier;
    return options;
}
