#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

/// The steps that turn one arranged order of rows into another, in the form a list model announces
/// them, so that a view keeps its scroll position and the rows it tracks: the rows that go are
/// removed, the rows that stay are moved into their new order, and the rows that come are inserted.
/// A row that stays is never removed and inserted again. Plain data, without Qt.
struct ArrangementChanges {
    /// Rows `first` to `last`, both included.
    struct Rows {
        int first = 0;
        int last = 0;
        friend bool operator==(const Rows&, const Rows&) = default;
    };

    /// Runs of rows to remove, the last run first, so that each is numbered as in the old order.
    std::vector<Rows> removals;
    /// Once removed: for each remaining row, the row it moves to. Empty when none moves.
    std::vector<int> moves;
    /// Runs of rows to insert, the first run first, each numbered as in the new order and taken
    /// from there.
    std::vector<Rows> insertions;

    bool isEmpty() const { return removals.empty() && moves.empty() && insertions.empty(); }
    friend bool operator==(const ArrangementChanges&, const ArrangementChanges&) = default;

    /// The changes from one order to the other, given for each old row its row in the new order or
    /// -1 when it goes. No two old rows may name the same new row.
    static ArrangementChanges fromNewRows(const std::vector<int>& newRowOfOldRow, int newRowCount);

    /// The changes from `before` to `after`, orders of distinct keys that `std::hash` takes.
    template <typename Key>
    static ArrangementChanges between(const std::vector<Key>& before, const std::vector<Key>& after) {
        std::unordered_map<Key, int> newRows;
        newRows.reserve(after.size());
        for (std::size_t row = 0; row < after.size(); ++row) {
            newRows.emplace(after[row], static_cast<int>(row));
        }
        std::vector<int> newRowOfOldRow;
        newRowOfOldRow.reserve(before.size());
        for (const Key& key : before) {
            const auto found = newRows.find(key);
            newRowOfOldRow.push_back(found == newRows.end() ? -1 : found->second);
        }
        return fromNewRows(newRowOfOldRow, static_cast<int>(after.size()));
    }
};
