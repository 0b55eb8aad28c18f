#include "Code/Shell/ApplicationIconImages.h"

#include "Code/Catalogue/QtStrings.h"
#include "ZRFoundation/Bundle/ZRBundle.h"
#include "ZRFoundation/CodeSigning/ZRMappedFile.h"

#include <QBuffer>
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
    const auto bytes = ZRMappedFile::readRegularFile(QtStrings::toPath(path), maximumIconFileSize);
    if (!bytes) {
        return {};
    }
    return decodeIconData(QByteArray(reinterpret_cast<const char*>(bytes->data()), qsizetype(bytes->size())));
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
