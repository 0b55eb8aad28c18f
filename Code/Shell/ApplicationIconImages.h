#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

/// The pictures of the applications list: an application's own icon file, a downloaded icon, and
/// the placeholder for applications without one. Decoding reads the disk, so the window calls these
/// from a worker thread; they are safe from any thread.
namespace ApplicationIconImages {

/// Icon files larger than this are not decoded.
inline constexpr qint64 maximumIconFileSize = 16 * 1024 * 1024;

/// "AppIconPlaceholder" from the program's images, decoded once; null when the resource is missing.
QImage placeholderImage();

/// The largest picture in the icon file that decodes. An `.icns` file holds one picture per size,
/// and not every kind of entry can be decoded here (JPEG 2000 ones cannot): those are passed over.
/// Null when nothing decodes.
QImage decodeIconFile(const QString& path);

/// The same for an icon's bytes in any image format Qt reads.
QImage decodeIconData(const QByteArray& data);

} // namespace ApplicationIconImages
