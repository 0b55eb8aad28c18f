#include "Code/Catalogue/LumoraLoadEnvironment.h"

#include <mutex>

#include <unistd.h>

namespace {

struct SharedEnvironment {
    std::mutex mutex;
    LumoraLoadEnvironment environment = LumoraLoadEnvironment::standard();
};

SharedEnvironment& sharedEnvironment() {
    static SharedEnvironment shared;
    return shared;
}

} // namespace

LumoraLoadEnvironment LumoraLoadEnvironment::standard() {
    return LumoraLoadEnvironment{// A URL that names no file cannot be read either.
                                 [](const ZRURL& bundleURL) {
                                     return bundleURL.isFileURL() &&
                                            ::access(bundleURL.path().c_str(), R_OK) == 0;
                                 },
                                 [](const ZRURL& bundleURL, const LumoraLoader::Options& options) {
                                     return LumoraLoader::load(bundleURL, options);
                                 },
                                 {}};
}

LumoraLoadEnvironment LumoraLoadEnvironment::current() {
    auto& shared = sharedEnvironment();
    std::lock_guard lock(shared.mutex);
    return shared.environment;
}

void LumoraLoadEnvironment::setCurrent(LumoraLoadEnvironment environment) {
    auto& shared = sharedEnvironment();
    std::lock_guard lock(shared.mutex);
    shared.environment = std::move(environment);
}

void LumoraLoadEnvironment::setLoaderOptions(LumoraLoader::Options options) {
    auto& shared = sharedEnvironment();
    std::lock_guard lock(shared.mutex);
    shared.environment.loaderOptions = std::move(options);
}
