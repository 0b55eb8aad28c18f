#include "Code/Shell/ApplicationIconImages.h"

#include "Code/Catalogue/QtStrings.h"
#include "ZRFoundation/Bundle/ZRBundle.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace ApplicationIconImages {

namespace {

/// Every picture the reader offers, keeping the one with the most pixels.
QImage largestDecodablePicture(QImageReader& reader) {
    QImage largest;
    const int count = std::max(reader.imageCount(), 1);
    for (int index = 0; index < count; ++index) {
        if (index > 0 && !reader.jumpToImage(index)) {
            break;
        }
        const QImage picture = reader.read();
        if (!picture.isNull() &&
            qint64{picture.width()} * picture.height() > qint64{largest.width()} * largest.height()) {
            largest = picture;
        }
    }
    return largest;
}

QImage decode(QIODevice& device) {
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    return largestDecodablePicture(reader);
}

} // namespace

QImage placeholderImage() {
    static const QImage image = [] {
        const auto path = ZRBundle::mainBundle().pathForResource("AppIconPlaceholder", "png", "Images");
        return path ? QImage(QtStrings::fromPath(*path)) : QImage();
    }();
    return image;
}

QImage decodeIconFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumIconFileSize) {
        return {};
    }
    return decode(file);
}

QImage decodeIconData(const QByteArray& data) {
    if (data.isEmpty() || data.size() > maximumIconFileSize) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer);
}

} // namespace ApplicationIconImages
