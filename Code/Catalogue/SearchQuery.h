#pragma once

#include <QString>
#include <vector>

/// Search text as the search field reads it: words and double-quoted phrases, every one of which
/// a text must contain to match, ignoring case and diacritics as `SearchTextFolding` does.
/// `editor "web file sharing"` matches the texts that contain both "editor" and "web file sharing";
/// a quote that is never closed makes the rest of the text one phrase. Text without any word or
/// phrase matches everything.
class SearchQuery {
public:
    /// Cuts and folds the text once, so that matching many texts costs one fold for each of them.
    explicit SearchQuery(const QString& text);

    /// The folded words and phrases in the order typed, without empty or blank ones.
    const std::vector<QString>& foldedTerms() const { return _foldedTerms; }
    bool isEmpty() const { return _foldedTerms.empty(); }

    /// Whether `text` contains every word and phrase.
    bool matches(const QString& text) const;
    /// The same for a text already folded by `SearchTextFolding`.
    bool matchesFolded(const QString& foldedText) const;

private:
    std::vector<QString> _foldedTerms;
};
