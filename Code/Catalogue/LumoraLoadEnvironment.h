#pragma once

#include "Code/Loading/LumoraLoader.h"
#include "Code/Model/Lumora.h"
#include "ZRFoundation/URL/ZRURL.h"

#include <functional>

/// What a document load touches outside the process: the read-permission test and the loader, with
/// the loader's options. Process-wide, so that the shell and the command line can add the trust
/// anchors a user asked for, and tests can stand in for the file system and the loader.
struct LumoraLoadEnvironment {
    /// Whether the process may read the bundle (POSIX `access` with R_OK by default).
    std::function<bool(const ZRURL& bundleURL)> isReadable;
    /// LumoraLoader::load by default.
    std::function<Lumora(const ZRURL& bundleURL, const LumoraLoader::Options& options)> load;
    LumoraLoader::Options loaderOptions;

    /// The real file system and loader, Apple's roots only.
    static LumoraLoadEnvironment standard();

    /// A copy of the environment loads use now; safe from any thread.
    static LumoraLoadEnvironment current();
    static void setCurrent(LumoraLoadEnvironment environment);
    /// Keeps the functions and replaces only the options.
    static void setLoaderOptions(LumoraLoader::Options options);
};
