#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <cstddef>
#include <memory>
#include <optional>
#include <utility>

/// One entry of the applications list: an installed application or a featured preview one.
/// Held by `std::shared_ptr`, since sources and the list share entries. Identity is by value: two
/// objects of the same concrete class with the same identifier are the same application.
class Application : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString identifier READ identifier CONSTANT)
    Q_PROPERTY(QString displayName READ displayName CONSTANT)

public:
    ~Application() override;

    /// The bundle's path for an installed application, the bundle identifier for a preview one.
    const QString& identifier() const { return _identifier; }
    const QString& displayName() const { return _displayName; }

    /// Null when there is none.
    virtual QString bundleIdentifier() const = 0;
    virtual bool isLumoraLoaded() const = 0;
    /// The text the sidebar's search field is matched against.
    virtual QString searchString() const = 0;
    /// `searchString` folded for matching, made on first use and kept until it changes: every
    /// keystroke in the search field matches every application.
    const QString& foldedSearchString() const;
    /// An `.icns` file to show for this application; empty when the default icon is to be used.
    /// Decoding images is the shell's business, so the catalogue stays free of the GUI module.
    virtual QString iconFilePath() const = 0;
    /// When that file was last modified (nanoseconds since the epoch), as last read; 0 when unknown.
    virtual qint64 iconFileModificationTime() const { return 0; }

    bool isEqual(const Application& other) const;
    std::size_t hash() const;
    /// "InstalledApplication: Mail (/System/Applications/Mail.app)", for diagnostics.
    QString description() const;

    /// -1 when only `other` has a document, +1 when only this one has, 0 otherwise; sorted
    /// descending, applications with documents come first.
    int compareIsLumoraLoaded(const Application& other) const;
    /// +1 for installed against preview, -1 for the reverse, 0 otherwise; sorted descending,
    /// installed applications come first.
    int compareType(const Application& other) const;

protected:
    Application(QString identifier, QString displayName);
    /// Subclasses call this when `searchString` may answer differently, with the new text already
    /// folded when they have it.
    void searchStringMayHaveChanged(std::optional<QString> folded = std::nullopt) {
        _foldedSearchString = std::move(folded);
    }

private:
    QString _identifier;
    QString _displayName;
    mutable std::optional<QString> _foldedSearchString;
};

/// Hashing and equality by identity, for sets and maps of shared applications.
struct ApplicationHash {
    std::size_t operator()(const std::shared_ptr<const Application>& application) const {
        return application->hash();
    }
};
struct ApplicationEqual {
    bool operator()(const std::shared_ptr<const Application>& left,
                    const std::shared_ptr<const Application>& right) const {
        return left->isEqual(*right);
    }
};

Q_DECLARE_METATYPE(std::shared_ptr<Application>)
