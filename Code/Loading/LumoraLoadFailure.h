#pragma once

#include <exception>
#include <optional>
#include <string>

/// A load failure in the form every reporter of it needs: the error's type and case, which the
/// command line prints as JSON, and its user-facing description.
struct LumoraLoadFailure {
    /// "InitializationError", "ZRBundleResourceVerifier.Error", "ParseError" or "OSStatus".
    std::string type;
    /// The case name; the status code for "OSStatus".
    std::string caseName;
    std::string description;

    bool operator==(const LumoraLoadFailure&) const = default;

    /// Classifies an exception thrown by LumoraLoader::load: none when it only says that the bundle
    /// carries no document, the failure when it is one of the loader's typed errors. Any other
    /// exception is rethrown, so that each caller decides what an unexpected one means.
    static std::optional<LumoraLoadFailure> fromLoaderException(const std::exception_ptr& error);
};
