#include "Code/Loading/LumoraLoadFailure.h"

#include "Code/Loading/LumoraInitializationError.h"
#include "Code/Loading/ZRBundleResourceVerifier.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"

std::optional<LumoraLoadFailure> LumoraLoadFailure::fromLoaderException(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Lumora::InitializationError& failure) {
        if (failure.errorCase() == Lumora::InitializationError::Case::bundleHasNoLumora) {
            return std::nullopt;
        }
        return LumoraLoadFailure{"InitializationError", std::string(failure.caseName()),
                                 failure.errorDescription()};
    } catch (const ZRBundleResourceVerifier::Error& failure) {
        return LumoraLoadFailure{"ZRBundleResourceVerifier.Error", std::string(failure.caseName()),
                                 failure.errorDescription()};
    } catch (const Lumora::Source::ParseError& failure) {
        return LumoraLoadFailure{"ParseError", std::string(failure.caseName()), failure.errorDescription()};
    } catch (const ZRCodeSignatureCheckError& failure) {
        return LumoraLoadFailure{"OSStatus", std::to_string(failure.code()), failure.errorDescription()};
    }
}
