#include "Code/Model/LumoraSource.h"
#include "Code/Model/SandboxNotes.h"

#include <gtest/gtest.h>

namespace {

using Description = Lumora::ConnectionDescription;
using Kind = SandboxNotes::Kind;
using Note = SandboxNotes::Note;

/// One source per string, one connection per character: 'i' incoming, 'o' outgoing.
Lumora document(const std::vector<std::string>& sources, std::optional<ZREntitlements> entitlements) {
    std::vector<std::shared_ptr<const Lumora::Source>> made;
    for (const auto& directions : sources) {
        std::vector<Description> connections;
        for (const char direction : directions) {
            connections.emplace_back(
                direction == 'i', std::vector{Description::HostMatchingRule::host("a.example")}, std::nullopt,
                PortSet::allPorts(), Description::Relevance::default_, "Connects.", std::nullopt);
        }
        const auto url = ZRURL::fileURL("/Applications/A" + std::to_string(made.size()) + ".app", true);
        made.push_back(std::make_shared<const Lumora::Source>(
            Lumora::Source::SourceType::internal, url, url, std::nullopt, std::nullopt, "Does things.",
            std::move(connections), std::vector<Lumora::ServiceDescription>{}, std::nullopt));
    }
    Lumora result(made.front(), {made.begin() + 1, made.end()});
    result.setEntitlements(std::move(entitlements));
    return result;
}

ZREntitlements sandbox(bool client, bool server) {
    return {true, client, server, false, {}};
}

TEST(SandboxNotes, StandWhereDeclarationAndSandboxDisagree) {
    const auto none = std::nullopt;
    const struct {
        std::vector<std::string> sources;
        std::optional<ZREntitlements> entitlements;
        std::vector<Note> expected;
    } cases[] = {
        {{"io"}, none, {}},
        {{"io"}, ZREntitlements{}, {}},
        {{"io"}, sandbox(true, true), {}},
        {{"oi", "o"},
         sandbox(false, false),
         {{Kind::outgoingNotAllowed, 0, 0},
          {Kind::incomingNotAllowed, 0, 1},
          {Kind::outgoingNotAllowed, 1, 0}}},
        // An outgoing connection declared by any bundle inside counts.
        {{"", "o"}, sandbox(true, false), {}},
        {{"i"},
         sandbox(true, false),
         {{Kind::outgoingAllowedButNoneDeclared, none, none}, {Kind::incomingNotAllowed, 0, 0}}},
        {{""}, sandbox(true, true), {{Kind::outgoingAllowedButNoneDeclared, none, none}}},
    };
    for (const auto& [sources, entitlements, expected] : cases) {
        EXPECT_EQ(SandboxNotes::notes(document(sources, entitlements)), expected) << sources.front();
    }
}

} // namespace
