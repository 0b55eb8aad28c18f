#pragma once

#include "Code/Catalogue/Application.h"

/// An entry of the downloaded list of featured applications. It stands for a document the user can
/// read, so it always counts as loaded.
class PreviewApplication : public Application {
    Q_OBJECT

public:
    /// Shared like every application, so it takes no parent.
    PreviewApplication(const QString& bundleIdentifier, const QString& displayName);

    QString bundleIdentifier() const override { return identifier(); }
    bool isLumoraLoaded() const override { return true; }
    QString searchString() const override { return displayName(); }
    QString iconFilePath() const override { return {}; }
};
