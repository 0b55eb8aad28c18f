#include "Code/Shell/ApplicationIconCache.h"

#include "Code/Catalogue/Application.h"
#include "Code/Catalogue/PreviewApplication.h"
#include "Code/Shell/ApplicationIconImages.h"

#include <QCryptographicHash>
#include <QPointer>

struct ApplicationIconCache::Source {
    QString identifier;
    /// An icon file, with its modification time, or
    QString filePath;
    qint64 modificationTime = 0;
    /// downloaded bytes. Neither: the placeholder.
    QByteArray data;
};

namespace {

constexpr int maximumWaitAtExitMilliseconds = 2000;

QImage scaledToFit(const QImage& image, int size) {
    if (image.isNull() || (image.width() <= size && image.height() <= size)) {
        return image;
    }
    return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

ApplicationIconCache::ApplicationIconCache(QObject* parent)
    : QObject(parent)
    , _pool(new QThreadPool(this)) {
    _pool->setObjectName(QStringLiteral("org.lumoraviewer.LumoraViewer.IconDecoding"));
    _pool->setMaxThreadCount(2);
}

ApplicationIconCache::~ApplicationIconCache() {
    _pool->clear();
    // A decode reads from the application's volume, which may hang (a dead network mount). Its
    // result goes nowhere once the cache is gone, so after a short wait the pool is let go with
    // its threads rather than holding up the window's, or the program's, end.
    if (!_pool->waitForDone(maximumWaitAtExitMilliseconds)) {
        _pool->setParent(nullptr);
    }
}

ApplicationIconCache::Source ApplicationIconCache::sourceOf(Application& application) {
    Source source{
        application.identifier(), application.iconFilePath(), application.iconFileModificationTime(), {}};
    if (source.filePath.isEmpty()) {
        if (auto* preview = qobject_cast<PreviewApplication*>(&application)) {
            source.data = preview->iconData();
        }
    }
    return source;
}

QString ApplicationIconCache::cacheKey(const Source& source, int size) const {
    if (!source.filePath.isEmpty()) {
        return QStringLiteral("file:") + source.filePath + QLatin1Char('#') +
               QString::number(source.modificationTime) + QLatin1Char('@') + QString::number(size);
    }
    auto& known = _dataDigests[source.identifier];
    // The same shared bytes as last time need no new digest.
    if (known.digest.isEmpty() || known.data.constData() != source.data.constData() ||
        known.data.size() != source.data.size()) {
        known = {source.data, QString::fromLatin1(
                                  QCryptographicHash::hash(source.data, QCryptographicHash::Sha1).toHex())};
    }
    return QStringLiteral("data:") + known.digest + QLatin1Char('@') + QString::number(size);
}

int ApplicationIconCache::listIconSize(qreal devicePixelRatio) {
    return qMax(listIconPoints, qRound(listIconPoints * devicePixelRatio));
}

QImage ApplicationIconCache::placeholder(int size) {
    auto found = _placeholders.find(size);
    if (found == _placeholders.end()) {
        found = _placeholders.insert(size, scaledToFit(ApplicationIconImages::placeholderImage(), size));
    }
    return *found;
}

bool ApplicationIconCache::hasDecodedIcon(Application& application, int size) const {
    const Source source = sourceOf(application);
    if (source.filePath.isEmpty() && source.data.isEmpty()) {
        return false;
    }
    const auto found = _images.constFind(cacheKey(source, size));
    return found != _images.constEnd() && !found->isNull();
}

QImage ApplicationIconCache::icon(Application& application, int size) {
    Source source = sourceOf(application);
    if (source.filePath.isEmpty() && source.data.isEmpty()) {
        return placeholder(size);
    }
    const QString key = cacheKey(source, size);
    if (!source.filePath.isEmpty()) {
        QString& known = _fileKeys[source.identifier + QLatin1Char('@') + QString::number(size)];
        if (known != key) {
            _images.remove(known);
            known = key;
        }
    }
    if (const auto found = _images.constFind(key); found != _images.constEnd()) {
        return found->isNull() ? placeholder(size) : *found;
    }
    if (!_pending.contains(key)) {
        _pending.insert(key);
        _pool->start([cache = QPointer(this), source = std::move(source), key, size] {
            QImage image = source.filePath.isEmpty() ? ApplicationIconImages::decodeIconData(source.data)
                                                     : ApplicationIconImages::decodeIconFile(source.filePath);
            image = scaledToFit(image, size);
            QMetaObject::invokeMethod(
                cache.data(),
                [cache, key, identifier = source.identifier, image = std::move(image)] {
                    if (!cache) {
                        return;
                    }
                    cache->_pending.remove(key);
                    cache->_images.insert(key, image);
                    emit cache->iconDecoded(identifier);
                },
                Qt::QueuedConnection);
        });
    }
    return placeholder(size);
}
