#include "Code/Shell/ApplicationIconImages.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString examples = QStringLiteral(LUMORA_EXAMPLES_DIR);

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    qToBigEndian(value, bytes.data());
    return bytes;
}

QByteArray iconEntry(const char* type, const QByteArray& data) {
    return QByteArray(type, 4) + bigEndian32(static_cast<quint32>(data.size() + 8)) + data;
}

QByteArray iconFile(const QByteArray& entries) {
    return "icns" + bigEndian32(static_cast<quint32>(entries.size() + 8)) + entries;
}

/// The sample editor's 128-pixel picture, as PNG bytes.
QByteArray samplePNG() {
    QFile file(QStringLiteral(LUMORA_SOURCE_DIR "/examples/icons/TextEditor.png"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(ApplicationIconImages, DecodesTheLargestEntryThatCanBeDecoded) {
    const QByteArray png = samplePNG();
    ASSERT_FALSE(png.isEmpty());
    // A 1024-pixel slot holding a JPEG 2000 stream, which is passed over for the PNG.
    const QByteArray jpeg2000 = QByteArray::fromHex("0000000c6a5020200d0a870a") + QByteArray(64, '\x01');
    const QByteArray bytes = iconFile(iconEntry("ic10", jpeg2000) + iconEntry("ic07", png));
    const QImage image = ApplicationIconImages::decodeIconData(bytes);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(128, 128));

    QTemporaryDir folder;
    QFile file(folder.filePath("Icon.icns"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    EXPECT_EQ(ApplicationIconImages::decodeIconFile(file.fileName()).size(), QSize(128, 128));
    EXPECT_EQ(
        ApplicationIconImages::decodeIconFile(examples + "/TextEditor.app/Contents/Resources/TextEditor.icns")
            .size(),
        QSize(128, 128));
}

TEST(ApplicationIconImages, NothingDecodesFromDamagedOrMissingFiles) {
    const QByteArray png = samplePNG();
    for (const QByteArray& bytes :
         {QByteArray(), QByteArray("icns"), iconFile(iconEntry("ic07", png)).left(200),
          iconFile(iconEntry("ic07", QByteArray(300, '\x7f'))), QByteArray("icns\xff\xff\xff\xff", 8) + png,
          QByteArray(4096, '\0')}) {
        EXPECT_TRUE(ApplicationIconImages::decodeIconData(bytes).isNull()) << bytes.size();
    }
    EXPECT_TRUE(ApplicationIconImages::decodeIconFile(QStringLiteral("/nonexistent/Icon.icns")).isNull());
    EXPECT_TRUE(ApplicationIconImages::decodeIconFile(QStringLiteral("/")).isNull());
}

// An icon file that is a FIFO would hold a decoding thread (and the program's exit) for good; a
// device or a link to one would stream without end.
TEST(ApplicationIconImages, NothingIsReadFromAnIconThatIsNotARegularFile) {
    QTemporaryDir folder;
    const QByteArray fifo = QFile::encodeName(folder.filePath("Fifo.icns"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), folder.filePath("Zero.icns")));
    QStringList paths{folder.filePath("Fifo.icns"), folder.filePath("Zero.icns")};
    if (::geteuid() == 0) {
        const QByteArray device = QFile::encodeName(folder.filePath("Device.icns"));
        ASSERT_EQ(::mknod(device.constData(), S_IFCHR | 0644, makedev(1, 5)), 0);
        paths.append(folder.filePath("Device.icns"));
    }
    for (const QString& path : paths) {
        EXPECT_TRUE(ApplicationIconImages::decodeIconFile(path).isNull()) << path.toStdString();
    }
}

TEST(ApplicationIconImages, ThePlaceholderShipsWithTheProgram) {
    const QImage placeholder = ApplicationIconImages::placeholderImage();
    ASSERT_FALSE(placeholder.isNull());
    EXPECT_EQ(placeholder.size(), QSize(256, 256));
    EXPECT_EQ(qAlpha(placeholder.pixel(0, 0)), 0) << "the corners are clear";
    EXPECT_EQ(qAlpha(placeholder.pixel(128, 128)), 255);
}
