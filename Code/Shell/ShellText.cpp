#include "Code/Shell/ShellText.h"

#include "Code/Catalogue/QtStrings.h"
#include "ZRFoundation/Localization/ZRLocalization.h"

namespace ShellText {

QString localized(const char* key, const char* table) {
    return QtStrings::toQString(ZRLocalization::lookupLocalizedString(key, table));
}

} // namespace ShellText
