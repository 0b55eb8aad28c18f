#include "Code/Catalogue/SearchQuery.h"

#include "Code/Catalogue/QtStrings.h"
#include "Code/Catalogue/SearchTextFolding.h"
#include "ZRFoundation/Text/ZRTokenEnumerator.h"

#include <algorithm>
#include <string_view>
#include <utility>

SearchQuery::SearchQuery(const QString& text) {
    ZRTokenEnumerator tokens(QtStrings::toStdString(text));
    while (const auto token = tokens.nextObject()) {
        std::string_view term = *token;
        // Closed phrases come without their quotes; only a phrase whose quote is never closed
        // still starts with it.
        if (term.starts_with('"')) {
            term.remove_prefix(1);
        }
        QString folded = SearchTextFolding::folded(QtStrings::toQString(term));
        if (!folded.trimmed().isEmpty()) {
            _foldedTerms.push_back(std::move(folded));
        }
    }
}

bool SearchQuery::matches(const QString& text) const {
    return _foldedTerms.empty() || matchesFolded(SearchTextFolding::folded(text));
}

bool SearchQuery::matchesFolded(const QString& foldedText) const {
    return std::all_of(_foldedTerms.begin(), _foldedTerms.end(),
                       [&](const QString& term) { return foldedText.contains(term); });
}
