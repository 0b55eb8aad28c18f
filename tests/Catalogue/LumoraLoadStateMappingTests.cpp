#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/LumoraLoadStateMapping.h"
#include "Code/Loading/LumoraInitializationError.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

const ZRURL bundleURL = ZRURL::fileURL("/Applications/Example.app", true);

} // namespace

TEST(LumoraLoadStateMapping, MapsEachLoadErrorToItsState) {
    using Case = LumoraLoadState::Case;
    // An exception a load may throw, its state, and for `loadFailed` the type, case name and a part of
    // the description.
    const std::tuple<std::exception_ptr, Case, std::optional<LumoraLoadFailure>> cases[] = {
        {std::make_exception_ptr(Lumora::InitializationError::bundleHasNoLumora(bundleURL)),
         Case::unavailable, std::nullopt},
        {std::make_exception_ptr(Lumora::InitializationError::fileCorrupt(bundleURL, "bad bytes")),
         Case::loadFailed, LumoraLoadFailure{"InitializationError", "fileCorrupt", "Example.app"}},
        {std::make_exception_ptr(Lumora::InitializationError::bundleNotFound(bundleURL)), Case::loadFailed,
         LumoraLoadFailure{"InitializationError", "bundleNotFound", ""}},
        {std::make_exception_ptr(
             ZRCodeSignatureCheckError(ZROSStatus::errSecCSSignatureFailed, "signature broken")),
         Case::loadFailed, LumoraLoadFailure{"OSStatus", "-67061", "signature broken"}},
        {std::make_exception_ptr(std::runtime_error("disk on fire")), Case::loadFailed,
         LumoraLoadFailure{"std::exception", "", "disk on fire"}},
        {std::make_exception_ptr(42), Case::loadFailed,
         LumoraLoadFailure{"unknown", "", "An unknown error occurred."}}};
    for (const auto& [error, stateCase, failure] : cases) {
        const auto state = LumoraLoadStateMapping::stateForLoadError(error);
        SCOPED_TRACE(state.caseName());
        EXPECT_EQ(state.stateCase(), stateCase);
        if (!failure) {
            EXPECT_EQ(state.error(), nullptr);
            continue;
        }
        ASSERT_NE(state.error(), nullptr);
        EXPECT_EQ(std::tie(state.error()->type, state.error()->caseName),
                  std::tie(failure->type, failure->caseName));
        EXPECT_THAT(state.error()->description, ::testing::HasSubstr(failure->description));
    }
}

TEST(LumoraLoadStateAfterLoading, DoesNotLoadABundleItCannotRead) {
    bool loaded = false;
    auto environment = environmentLoading([&](const ZRURL& url) {
        loaded = true;
        return makeDocument(url.path() / "Lumora.plist");
    });
    environment.isReadable = [](const ZRURL&) { return false; };
    EXPECT_EQ(LumoraLoadStateMapping::stateAfterLoading(bundleURL, environment).stateCase(),
              LumoraLoadState::Case::noReadPermission);
    EXPECT_FALSE(loaded);
}

TEST(LumoraLoadStateAfterLoading, CarriesTheLoadedDocumentOrTheLoadsError) {
    const auto loaded = LumoraLoadStateMapping::stateAfterLoading(
        bundleURL,
        environmentLoading([](const ZRURL& url) { return makeDocument(url.path() / "Lumora.plist"); }));
    ASSERT_EQ(loaded.stateCase(), LumoraLoadState::Case::loaded);
    EXPECT_EQ(loaded.lumora()->primarySource()->policyFileURL().path(),
              std::filesystem::path("/Applications/Example.app/Lumora.plist"));

    const auto failed = LumoraLoadStateMapping::stateAfterLoading(
        bundleURL, environmentLoading([](const ZRURL&) -> Lumora { throw std::logic_error("no"); }));
    ASSERT_EQ(failed.stateCase(), LumoraLoadState::Case::loadFailed);
    EXPECT_EQ(failed.error()->description, "no");
}
