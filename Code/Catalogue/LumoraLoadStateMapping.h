#pragma once

#include "Code/Catalogue/LumoraLoadEnvironment.h"
#include "Code/Catalogue/LumoraLoadState.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <exception>

/// How one load of a bundle's document ends up as a LumoraLoadState. The loader reports its
/// failures as C++ exceptions where the system's frameworks would return error values; this is the
/// one place that turns them, and any other exception a load may throw, into states.
namespace LumoraLoadStateMapping {

/// Loads the bundle's document in `environment` and maps the outcome: `noReadPermission` without
/// trying when the bundle cannot be read, `loaded` with the document, otherwise the state for the
/// exception the load threw; each but the first with the signature of the main executable.
LumoraLoadState stateAfterLoading(const ZRURL& bundleURL, const LumoraLoadEnvironment& environment);

/// The state for a load that threw `error`: `unavailable` when the bundle carries no document,
/// `loadFailed` with the loader's failure when it is one of the loader's typed errors, and
/// `loadFailed` as "std::exception" or "unknown" for anything else.
LumoraLoadState stateForLoadError(const std::exception_ptr& error);

} // namespace LumoraLoadStateMapping
