// Host patterns and names from fuzz input: no crash, and for ASCII input the label matcher agrees
// with a dynamic-programming evaluation of the wildcard definition.
//
// Input: pattern, a 0 byte, name. Without a 0 byte the first half is the pattern.

#include "Code/Model/LumoraMatching.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

struct Token {
    enum class Type : std::uint8_t { literal, anyCharacter, anyRun };
    Type type;
    char character;
};

// dp[i][j]: the first i tokens match the first j characters.
bool referenceMatch(std::string_view pattern, std::string_view label) {
    std::vector<Token> tokens;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '\\' && i + 1 < pattern.size()) {
            tokens.push_back({Token::Type::literal, pattern[++i]});
        } else if (pattern[i] == '*') {
            tokens.push_back({Token::Type::anyRun, 0});
        } else if (pattern[i] == '?') {
            tokens.push_back({Token::Type::anyCharacter, 0});
        } else {
            tokens.push_back({Token::Type::literal, pattern[i]});
        }
    }
    const std::size_t width = label.size() + 1;
    std::vector<char> dp((tokens.size() + 1) * width, 0);
    dp[0] = 1;
    for (std::size_t i = 1; i <= tokens.size(); ++i) {
        const auto& token = tokens[i - 1];
        for (std::size_t j = 0; j <= label.size(); ++j) {
            bool matches = false;
            if (token.type == Token::Type::anyRun) {
                matches = dp[(i - 1) * width + j] != 0 || (j > 0 && dp[i * width + j - 1] != 0);
            } else if (j > 0) {
                const bool characterMatches =
                    token.type == Token::Type::anyCharacter || token.character == label[j - 1];
                matches = characterMatches && dp[(i - 1) * width + j - 1] != 0;
            }
            dp[i * width + j] = matches ? 1 : 0;
        }
    }
    return dp[tokens.size() * width + label.size()] != 0;
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reference is quadratic in memory; longer inputs add nothing.
    if (size > 4096) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto separator = input.find('\0');
    const auto split = separator == std::string_view::npos ? size / 2 : separator;
    const auto pattern = input.substr(0, split);
    const auto name = input.substr(std::min(size, split + (separator == std::string_view::npos ? 0 : 1)));

    const bool matches = LumoraMatching::labelMatchesPattern(pattern, name);
    if (isASCII(pattern) && isASCII(name) && matches != referenceMatch(pattern, name)) {
        std::abort();
    }
    (void)LumoraMatching::hostNameMatchesPattern(pattern, name);
    return 0;
}
