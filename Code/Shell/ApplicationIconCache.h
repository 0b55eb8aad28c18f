#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

class Application;

/// Decoded application icons at the sizes the window draws them. Decoding reads the disk, so it
/// runs on a pool of its own; until an icon is ready (and when it cannot be decoded) the placeholder
/// stands in, and `iconDecoded` tells the views to draw again. Main thread only.
class ApplicationIconCache : public QObject {
    Q_OBJECT

public:
    /// The list row's icon in points; it is kept at the size the row draws it in device pixels.
    static constexpr int listIconPoints = 32;
    /// The page's header icon in device pixels: 64 points at twice the density.
    static constexpr int pageIconSize = 128;
    /// The list row's icon in device pixels on a screen of that density.
    static int listIconSize(qreal devicePixelRatio);

    explicit ApplicationIconCache(QObject* parent = nullptr);
    ~ApplicationIconCache() override;

    /// The application's icon scaled to fit `size` × `size`, or the placeholder while it is being
    /// decoded or when it cannot be.
    QImage icon(Application& application, int size);
    /// Whether `icon` would answer with the application's own picture now.
    bool hasDecodedIcon(Application& application, int size) const;

    /// The placeholder at `size`.
    QImage placeholder(int size);

signals:
    /// An icon asked for earlier is ready; views showing `application` should draw again.
    void iconDecoded(const QString& applicationIdentifier);

private:
    struct Source;
    QString cacheKey(const Source& source, int size) const;
    /// Asking a featured application for its bytes starts their download.
    static Source sourceOf(Application& application);

    QThreadPool* _pool;
    /// Decoded and scaled pictures; a null image marks one that could not be decoded.
    QHash<QString, QImage> _images;
    /// The key each application's icon file had at each size when last asked for: the picture of
    /// a file since replaced is dropped.
    QHash<QString, QString> _fileKeys;
    QSet<QString> _pending;
    QHash<int, QImage> _placeholders;
    /// The digest of each featured application's icon bytes, kept with the bytes it was made of:
    /// rows are drawn often, and the bytes change seldom.
    struct DataDigest {
        QByteArray data;
        QString digest;
    };
    mutable QHash<QString, DataDigest> _dataDigests;
};
