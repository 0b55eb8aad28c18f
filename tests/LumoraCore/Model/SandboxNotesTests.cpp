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

struct NotesCase {
    const char* name;
    std::vector<std::string> sources;
    std::optional<ZREntitlements> entitlements;
    std::vector<Note> expected;
};

class SandboxNotesTest : public testing::TestWithParam<NotesCase> {};

TEST_P(SandboxNotesTest, StandWhereDeclarationAndSandboxDisagree) {
    const auto& test = GetParam();
    EXPECT_EQ(SandboxNotes::notes(document(test.sources, test.entitlements)), test.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SandboxNotesTest,
    testing::Values(NotesCase{"UnknownEntitlements", {"io"}, std::nullopt, {}},
                    NotesCase{"Unsandboxed", {"io"}, ZREntitlements{}, {}},
                    NotesCase{"SandboxAllowingBoth", {"io"}, sandbox(true, true), {}},
                    NotesCase{"SandboxAllowingNothing",
                              {"oi", "o"},
                              sandbox(false, false),
                              {{Kind::outgoingNotAllowed, 0, 0},
                               {Kind::incomingNotAllowed, 0, 1},
                               {Kind::outgoingNotAllowed, 1, 0}}},
                    // An outgoing connection declared by any bundle inside counts.
                    NotesCase{"OutgoingDeclaredInANestedBundle", {"", "o"}, sandbox(true, false), {}},
                    NotesCase{"OutgoingAllowedButNoneDeclared",
                              {"i"},
                              sandbox(true, false),
                              {{Kind::outgoingAllowedButNoneDeclared, std::nullopt, std::nullopt},
                               {Kind::incomingNotAllowed, 0, 0}}},
                    NotesCase{"NothingDeclared",
                              {""},
                              sandbox(true, true),
                              {{Kind::outgoingAllowedButNoneDeclared, std::nullopt, std::nullopt}}}),
    [](const testing::TestParamInfo<NotesCase>& param) { return std::string(param.param.name); });

} // namespace
