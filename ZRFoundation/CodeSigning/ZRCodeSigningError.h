#pragma once

#include "ZRFoundation/CodeSigning/ZROSStatus.h"

#include <string>
#include <utility>

/// Why a code-signing step refused its input: the status a caller classifies, and a text naming
/// the place ("load command 3 extends past the end of the slice").
struct ZRCodeSigningError {
    ZROSStatus::Value status = ZROSStatus::errSecCSSignatureFailed;
    std::string description;

    bool operator==(const ZRCodeSigningError&) const = default;
};
