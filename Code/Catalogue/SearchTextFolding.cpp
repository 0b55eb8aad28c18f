#include "Code/Catalogue/SearchTextFolding.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace SearchTextFolding {

QString folded(const QString& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* decomposition = icu::Normalizer2::getNFKDInstance(status);
    if (U_FAILURE(status) || decomposition == nullptr) {
        return text.toCaseFolded();
    }
    const icu::UnicodeString source(false, reinterpret_cast<const char16_t*>(text.utf16()),
                                    static_cast<int32_t>(text.size()));
    const icu::UnicodeString decomposed = decomposition->normalize(source, status);
    if (U_FAILURE(status)) {
        return text.toCaseFolded();
    }
    icu::UnicodeString bare;
    for (int32_t index = 0; index < decomposed.length();) {
        const UChar32 character = decomposed.char32At(index);
        if (u_charType(character) != U_NON_SPACING_MARK) {
            bare.append(character);
        }
        index += U16_LENGTH(character);
    }
    bare.foldCase();
    return QString(reinterpret_cast<const QChar*>(bare.getBuffer()), bare.length());
}

} // namespace SearchTextFolding
