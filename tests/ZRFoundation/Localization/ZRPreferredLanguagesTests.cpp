#include "ZRFoundation/Localization/ZRPreferredLanguages.h"

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

using namespace ZRPreferredLanguages;

class EnvironmentGuard {
public:
    EnvironmentGuard() {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* value = std::getenv(name);
            _saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
        overridePreferredLanguages(std::nullopt);
    }
    ~EnvironmentGuard() {
        for (const auto& [name, value] : _saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> _saved;
};

TEST(ZRPreferredLanguages, ReadsTheDesktopsVariablesInOrder) {
    const EnvironmentGuard guard;
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"en"});
    setenv("LANG", "de_DE.UTF-8", 1);
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"de-DE"});
    setenv("LC_MESSAGES", "C", 1);
    setenv("LC_ALL", "fr_CH.UTF-8@euro", 1);
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"fr-CH"});
    setenv("LANGUAGE", "sv:de_AT::en", 1);
    EXPECT_EQ(preferredLanguages(), (std::vector<std::string>{"sv", "de-AT", "en", "fr-CH"}));
    overridePreferredLanguages(std::vector<std::string>{"ja"});
    EXPECT_EQ(preferredLanguages(), std::vector<std::string>{"ja"});
    overridePreferredLanguages(std::nullopt);
}

TEST(ZRPreferredLanguages, OrdersAvailableLocalizations) {
    const std::vector<std::string> available{"Base", "de", "en", "en-GB", "German", "pt_BR"};
    EXPECT_EQ(preferredLocalizationsFromArray(available, {"en-GB", "de"}),
              (std::vector<std::string>{"en-GB", "en", "de", "German"}));
    EXPECT_EQ(preferredLocalizationsFromArray(available, {"pt-BR"}), std::vector<std::string>{"pt_BR"});
    EXPECT_TRUE(preferredLocalizationsFromArray(available, {"fi"}).empty());
    EXPECT_EQ(preferredLocalizationsFromArray({"English"}, {"en-US"}), std::vector<std::string>{"English"});
    EXPECT_EQ(languageTagFromLocaleName("POSIX"), std::nullopt);
    EXPECT_EQ(languageTagFromLocaleName("de_DE.ISO-8859-1"), "de-DE");
    EXPECT_EQ(languageTagFromLocaleName("../../etc"), std::nullopt);
}

} // namespace
