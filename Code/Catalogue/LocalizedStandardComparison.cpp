#include "Code/Catalogue/LocalizedStandardComparison.h"

#include <QCollator>
#include <QLocale>

namespace {

QLocale collationLocale() {
    QLocale locale = QLocale::system();
    // A default collator under C.UTF-8 compares code points and ignores numeric mode: name a
    // locale explicitly.
    if (locale.language() == QLocale::C) {
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    }
    return locale;
}

QCollator makeCollator() {
    QCollator collator(collationLocale());
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

} // namespace

int localizedStandardCompare(const QString& left, const QString& right) {
    // One collator per thread: sorting may run on the disk pool as well as on the main thread.
    thread_local const QCollator collator = makeCollator();
    const int order = collator.compare(left, right);
    if (order != 0) {
        return order < 0 ? -1 : 1;
    }
    // Names equal but for case give a stable order all the same.
    return left < right ? -1 : (right < left ? 1 : 0);
}
