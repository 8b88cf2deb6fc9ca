// The compiled-in label pictures: every path loads, at its size, in its encoding.
#include "res/labelpictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QtEndian>
#include <QtTest>

using labelpictures::Encoding;

namespace {

// PNG: colour type and bit depth from the IHDR chunk that follows the signature.
bool isPng(const QByteArray &bytes, int colourType, int bitDepth, QSize *size)
{
    if (!bytes.startsWith("\x89PNG\r\n\x1a\n") || bytes.mid(12, 4) != "IHDR")
        return false;
    const auto *ihdr = reinterpret_cast<const uchar *>(bytes.constData()) + 16;
    *size = QSize(int(qFromBigEndian<quint32>(ihdr)), int(qFromBigEndian<quint32>(ihdr + 4)));
    return ihdr[8] == bitDepth && ihdr[9] == colourType;
}

// JPEG: walk the markers up to the first start-of-frame and return its type (0xC0
// baseline, 0xC2 progressive) with the frame's size and component count.
int jpegFrame(const QByteArray &bytes, QSize *size, int *components)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    int at = 2;
    if (bytes.size() < 4 || p[0] != 0xFF || p[1] != 0xD8)
        return -1;
    while (at + 9 < bytes.size()) {
        if (p[at] != 0xFF)
            return -1;
        const int marker = p[at + 1];
        const int length = qFromBigEndian<quint16>(p + at + 2);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            *size = QSize(qFromBigEndian<quint16>(p + at + 7), qFromBigEndian<quint16>(p + at + 5));
            *components = p[at + 9];
            return marker;
        }
        at += 2 + length;
    }
    return -1;
}

} // namespace

class TestLabelPictures : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureIsThereAsDrawn_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QSize>("size");
        for (const auto &picture : labelpictures::all)
            QTest::newRow(picture.path) << QString::fromLatin1(picture.path) << int(picture.encoding)
                                        << QSize(picture.width, picture.height);
    }
    void everyPictureIsThereAsDrawn()
    {
        QFETCH(QString, path);
        QFETCH(int, encoding);
        QFETCH(QSize, size);

        QImage image;
        QVERIFY(image.load(path)); // no format hint: recognised by content
        QCOMPARE(image.size(), size);
        QVERIFY(size.width() <= 246 && size.height() <= 122); // fits the picture label

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QSize stated;
        int components = 0;
        switch (Encoding(encoding)) {
        case Encoding::ProgressiveJpeg:
            QCOMPARE(jpegFrame(bytes, &stated, &components), 0xC2);
            QCOMPARE(components, 3);
            break;
        case Encoding::BaselineJpeg:
            QCOMPARE(jpegFrame(bytes, &stated, &components), 0xC0);
            QCOMPARE(components, 3);
            break;
        case Encoding::PngRgba8:
            QVERIFY(isPng(bytes, 6, 8, &stated));
            break;
        case Encoding::PngPalette4:
            QVERIFY(isPng(bytes, 3, 4, &stated));
            break;
        }
        QCOMPARE(stated, size);
        QVERIFY(path.endsWith(bytes.startsWith("\x89PNG") ? ".png" : ".jpg"));

        QResource entry(path);
        QVERIFY(entry.isValid());
        QCOMPARE(entry.compressionAlgorithm(), QResource::NoCompression);
    }

    void bundleHoldsExactlyTheseEighteen()
    {
        QStringList listed;
        for (const auto &picture : labelpictures::all)
            listed << QString::fromLatin1(picture.path).mid(int(strlen(":/qjpg/res/")));
        listed.sort();
        QCOMPARE(listed.size(), 18);
        QCOMPARE(QDir(QStringLiteral(":/qjpg/res")).entryList(QDir::Files, QDir::Name), listed);
        QCOMPARE(QDir(QStringLiteral(":/qjpg")).entryList(QDir::AllEntries), QStringList{QStringLiteral("res")});
    }

    // Each model's label is its own picture: no two files look alike.
    void picturesAreDistinct()
    {
        QList<QImage> seen;
        for (const auto &picture : labelpictures::all) {
            const QImage image = QImage(QString::fromLatin1(picture.path)).convertToFormat(QImage::Format_RGB32);
            for (const QImage &other : seen)
                QVERIFY2(image != other, picture.path);
            seen << image;
        }
    }
};

QTEST_GUILESS_MAIN(TestLabelPictures)
#include "tst_labelpictures.moc"
