#include "Code/Catalogue/LumoraLoadStateMapping.h"

#include "Code/Loading/LumoraLoadFailure.h"

#include <memory>

namespace LumoraLoadStateMapping {

LumoraLoadState stateAfterLoading(const ZRURL& bundleURL, const LumoraLoadEnvironment& environment) {
    if (!environment.isReadable(bundleURL)) {
        return LumoraLoadState::noReadPermission();
    }
    LumoraLoadState state;
    try {
        state = LumoraLoadState::loaded(
            std::make_shared<const Lumora>(environment.load(bundleURL, environment.loaderOptions)));
    } catch (...) {
        state = stateForLoadError(std::current_exception());
    }
    // After a load that checked the signature the answer comes from the checker's cache; bundles
    // without a document are checked here, so that their page can say who signed. What it finds
    // changes nothing about the state.
    try {
        state.setSignature(
            LumoraSignatureSummary::read(bundleURL.path(), environment.loaderOptions.extraTrustAnchors));
    } catch (const std::exception&) {
        // Without a readable signature the page has no signature line.
    }
    return state;
}

LumoraLoadState stateForLoadError(const std::exception_ptr& error) {
    try {
        const auto failure = LumoraLoadFailure::fromLoaderException(error);
        return failure ? LumoraLoadState::loadFailed(*failure) : LumoraLoadState::unavailable();
    } catch (const std::exception& failure) {
        return LumoraLoadState::loadFailed({"std::exception", {}, failure.what()});
    } catch (...) {
        return LumoraLoadState::loadFailed({"unknown", {}, "An unknown error occurred."});
    }
}

} // namespace LumoraLoadStateMapping
