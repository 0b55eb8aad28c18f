#pragma once

#include "ZRFoundation/CodeSigning/ZROSStatus.h"
#include "ZRFoundation/Support/ZRError.h"

#include <string>

/// A signature check that produced no result: the file could not be examined, or its signature
/// cannot be checked. Carries the status in the OSStatus error domain.
class ZRCodeSignatureCheckError : public ZRError {
public:
    static constexpr const char* domain = "NSOSStatusErrorDomain";

    ZRCodeSignatureCheckError(ZROSStatus::Value status, std::string description)
        : _status(status)
        , _description(std::move(description)) {}

    ZROSStatus::Value code() const { return _status; }
    std::string errorDescription() const override { return _description; }

private:
    ZROSStatus::Value _status;
    std::string _description;
};
