#include "Code/Catalogue/ArrangementChanges.h"

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

/// Runs print as rows, in failure messages.
static void PrintTo(const ArrangementChanges::Rows& rows, std::ostream* stream) {
    *stream << rows.first << "..." << rows.last;
}

namespace {

using Rows = ArrangementChanges::Rows;

ArrangementChanges changesOf(const std::string& before, const std::string& after) {
    return ArrangementChanges::between(std::vector<char>(before.begin(), before.end()),
                                       std::vector<char>(after.begin(), after.end()));
}

/// Performs the changes on `rows` step by step, as a list model does; "invalid" for a step that
/// names rows that are not there.
std::string applied(std::string rows, const ArrangementChanges& changes, const std::string& after) {
    const auto fits = [](const Rows& run, std::size_t size) {
        return run.first >= 0 && run.first <= run.last && static_cast<std::size_t>(run.last) < size;
    };
    const auto length = [](const Rows& run) { return static_cast<std::size_t>(run.last - run.first + 1); };
    for (const auto& run : changes.removals) {
        if (!fits(run, rows.size())) {
            return "invalid";
        }
        rows.erase(static_cast<std::size_t>(run.first), length(run));
    }
    if (!changes.moves.empty()) {
        std::string moved(rows.size(), '\0');
        for (std::size_t row = 0; row < changes.moves.size(); ++row) {
            const auto target = static_cast<std::size_t>(changes.moves[row]);
            if (changes.moves.size() != rows.size() || target >= rows.size() || moved[target] != '\0') {
                return "invalid";
            }
            moved[target] = rows[row];
        }
        rows = moved;
    }
    for (const auto& run : changes.insertions) {
        if (!fits(run, after.size()) || static_cast<std::size_t>(run.first) > rows.size()) {
            return "invalid";
        }
        rows.insert(static_cast<std::size_t>(run.first),
                    after.substr(static_cast<std::size_t>(run.first), length(run)));
    }
    return rows;
}

TEST(ArrangementChanges, RemovesMovesAndInsertsInRuns) {
    // Before, after, and the removals, moves and insertions between them.
    const std::tuple<std::string, std::string, std::vector<Rows>, std::vector<int>, std::vector<Rows>>
        cases[] = {{"", "", {}, {}, {}},
                   {"abc", "abc", {}, {}, {}},
                   {"abc", "", {{0, 2}}, {}, {}},
                   {"", "ab", {}, {}, {{0, 1}}},
                   // Separate removals come last first.
                   {"abcde", "ace", {{3, 3}, {1, 1}}, {}, {}},
                   {"abcde", "ae", {{1, 3}}, {}, {}},
                   {"abc", "cab", {}, {1, 2, 0}, {}},
                   {"abcd", "dcba", {}, {3, 2, 1, 0}, {}},
                   {"ab", "xaybz", {}, {}, {{0, 0}, {2, 2}, {4, 4}}},
                   {"ab", "abcd", {}, {}, {{2, 3}}},
                   {"ab", "cd", {{0, 1}}, {}, {{0, 1}}},
                   {"abcd", "dxb", {{2, 2}, {0, 0}}, {1, 0}, {{1, 1}}}};
    for (const auto& [before, after, removals, moves, insertions] : cases) {
        SCOPED_TRACE(before + " to " + after);
        const auto changes = changesOf(before, after);
        EXPECT_EQ(changes.removals, removals);
        EXPECT_EQ(changes.moves, moves);
        EXPECT_EQ(changes.insertions, insertions);
        EXPECT_EQ(applied(before, changes, after), after);
    }
}

TEST(ArrangementChanges, TurnsAnyOrderIntoAnyOtherWithoutTouchingTheRowsThatStay) {
    std::mt19937 random(20261208);
    const auto someOrder = [&] {
        std::string order;
        for (const char letter : std::string("abcdefghijkl")) {
            if (random() % 3 != 0) {
                order.push_back(letter);
            }
        }
        std::shuffle(order.begin(), order.end(), random);
        return order.substr(0, random() % (order.size() + 1));
    };
    const auto rowCount = [](const std::vector<Rows>& runs) {
        int count = 0;
        for (const auto& run : runs) {
            count += run.last - run.first + 1;
        }
        return count;
    };
    const auto missing = [](const std::string& from, const std::string& in) {
        return static_cast<int>(std::count_if(from.begin(), from.end(),
                                              [&](char key) { return in.find(key) == std::string::npos; }));
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string before = someOrder();
        const std::string after = someOrder();
        SCOPED_TRACE(before + " to " + after);
        const auto changes = changesOf(before, after);
        ASSERT_EQ(applied(before, changes, after), after);
        EXPECT_EQ(rowCount(changes.removals), missing(before, after));
        EXPECT_EQ(rowCount(changes.insertions), missing(after, before));
        EXPECT_EQ(changes.isEmpty(), before == after);
    }
}

} // namespace
