#include "Code/Catalogue/LumoraLoadStateMapping.h"

#include "Code/Loading/LumoraLoadFailure.h"

#include <memory>

namespace LumoraLoadStateMapping {

LumoraLoadState stateAfterLoading(const ZRURL& bundleURL, const LumoraLoadEnvironment& environment) {
    if (!environment.isReadable(bundleURL)) {
        return LumoraLoadState::noReadPermission();
    }
    try {
        return LumoraLoadState::loaded(
            std::make_shared<const Lumora>(environment.load(bundleURL, environment.loaderOptions)));
    } catch (...) {
        return stateForLoadError(std::current_exception());
    }
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
