#include "Catalogue/CatalogueTestSupport.h"
#include "Code/Catalogue/LumoraLoadStateMapping.h"
#include "Code/Loading/LumoraInitializationError.h"
#include "Code/Model/LumoraSource.h"
#include "ZRFoundation/CodeSigning/ZRCodeSignatureCheckError.h"
#include "ZRFoundation/CodeSigning/ZROSStatus.h"

#include <exception>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace CatalogueTestSupport;

namespace {

const ZRURL bundleURL = ZRURL::fileURL("/Applications/Example.app", true);

/// An exception a load may throw, and the state it stands for; `failure` is the expected
/// type, case name and a part of the description for `loadFailed`.
struct LoadErrorCase {
    const char* name;
    std::exception_ptr error;
    LumoraLoadState::Case stateCase;
    std::optional<LumoraLoadFailure> failure;
};

void PrintTo(const LoadErrorCase& testCase, std::ostream* stream) {
    *stream << testCase.name;
}

class LumoraLoadStateForLoadError : public ::testing::TestWithParam<LoadErrorCase> {};

} // namespace

TEST_P(LumoraLoadStateForLoadError, MapsTheExceptionToItsState) {
    const auto state = LumoraLoadStateMapping::stateForLoadError(GetParam().error);
    EXPECT_EQ(state.stateCase(), GetParam().stateCase);
    if (!GetParam().failure) {
        EXPECT_EQ(state.error(), nullptr);
        return;
    }
    ASSERT_NE(state.error(), nullptr);
    EXPECT_EQ(state.error()->type, GetParam().failure->type);
    EXPECT_EQ(state.error()->caseName, GetParam().failure->caseName);
    EXPECT_THAT(state.error()->description, ::testing::HasSubstr(GetParam().failure->description));
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LumoraLoadStateForLoadError,
    testing::Values(
        LoadErrorCase{"noDocumentInTheBundle",
                      std::make_exception_ptr(Lumora::InitializationError::bundleHasNoLumora(bundleURL)),
                      LumoraLoadState::Case::unavailable, std::nullopt},
        LoadErrorCase{
            "corruptDocument",
            std::make_exception_ptr(Lumora::InitializationError::fileCorrupt(bundleURL, "bad bytes")),
            LumoraLoadState::Case::loadFailed,
            LumoraLoadFailure{"InitializationError", "fileCorrupt", "Example.app"}},
        LoadErrorCase{"missingBundle",
                      std::make_exception_ptr(Lumora::InitializationError::bundleNotFound(bundleURL)),
                      LumoraLoadState::Case::loadFailed,
                      LumoraLoadFailure{"InitializationError", "bundleNotFound", ""}},
        LoadErrorCase{"signatureCheck",
                      std::make_exception_ptr(ZRCodeSignatureCheckError(ZROSStatus::errSecCSSignatureFailed,
                                                                        "signature broken")),
                      LumoraLoadState::Case::loadFailed,
                      LumoraLoadFailure{"OSStatus", "-67061", "signature broken"}},
        LoadErrorCase{
            "undeclaredStandardException", std::make_exception_ptr(std::runtime_error("disk on fire")),
            LumoraLoadState::Case::loadFailed, LumoraLoadFailure{"std::exception", "", "disk on fire"}},
        LoadErrorCase{"somethingThatIsNotAnException", std::make_exception_ptr(42),
                      LumoraLoadState::Case::loadFailed,
                      LumoraLoadFailure{"unknown", "", "An unknown error occurred."}}),
    [](const testing::TestParamInfo<LoadErrorCase>& item) { return std::string(item.param.name); });

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
