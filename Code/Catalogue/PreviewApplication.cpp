#include "Code/Catalogue/PreviewApplication.h"

PreviewApplication::PreviewApplication(const QString& bundleIdentifier, const QString& displayName)
    : Application(bundleIdentifier, displayName) {}
