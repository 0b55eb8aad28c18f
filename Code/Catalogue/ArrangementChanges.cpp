#include "Code/Catalogue/ArrangementChanges.h"

#include <algorithm>

ArrangementChanges ArrangementChanges::fromNewRows(const std::vector<int>& newRowOfOldRow, int newRowCount) {
    ArrangementChanges changes;
    const int oldRowCount = static_cast<int>(newRowOfOldRow.size());
    const auto goes = [&](int oldRow) { return newRowOfOldRow[static_cast<std::size_t>(oldRow)] < 0; };

    for (int row = oldRowCount - 1; row >= 0; --row) {
        if (!goes(row)) {
            continue;
        }
        const int last = row;
        while (row > 0 && goes(row - 1)) {
            --row;
        }
        changes.removals.push_back({row, last});
    }

    // The rows that stay keep their old relative order after the removals; each moves to the rank
    // of its new row among theirs.
    std::vector<int> stayingNewRows;
    for (const int newRow : newRowOfOldRow) {
        if (newRow >= 0) {
            stayingNewRows.push_back(newRow);
        }
    }
    if (!std::is_sorted(stayingNewRows.begin(), stayingNewRows.end())) {
        std::vector<int> sorted = stayingNewRows;
        std::sort(sorted.begin(), sorted.end());
        changes.moves.reserve(stayingNewRows.size());
        for (const int newRow : stayingNewRows) {
            changes.moves.push_back(
                static_cast<int>(std::lower_bound(sorted.begin(), sorted.end(), newRow) - sorted.begin()));
        }
    }

    std::vector<bool> stays(static_cast<std::size_t>(std::max(newRowCount, 0)), false);
    for (const int newRow : stayingNewRows) {
        stays[static_cast<std::size_t>(newRow)] = true;
    }
    for (int row = 0; row < newRowCount; ++row) {
        if (stays[static_cast<std::size_t>(row)]) {
            continue;
        }
        const int first = row;
        while (row + 1 < newRowCount && !stays[static_cast<std::size_t>(row + 1)]) {
            ++row;
        }
        changes.insertions.push_back({first, row});
    }
    return changes;
}
