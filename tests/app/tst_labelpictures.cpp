// The compiled-in label pictures: every path loads, at its size, in its encoding.
#include "res/labelpictures.h"
#include "tests/support/tablerows.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QResource>
#include <QtEndian>
#include <QtTest>

namespace {

// What the header of a file of each encoding says, in the order of labelpictures::Encoding:
// a JPEG's first frame type (c2 progressive, c0 baseline) and component count, a PNG's
// colour type and bit depth.
const char *const encodingHeaders[] = {"JPEG frame c2, 3 components", "JPEG frame c0, 3 components",
                                       "PNG colour 6, depth 8", "PNG colour 3, depth 4"};

// The encoding and size a file states in its header (a PNG's IHDR chunk, a JPEG's first
// start-of-frame marker), as in encodingHeaders; empty when the bytes are neither.
QString statedHeader(const QByteArray &bytes, QSize *size)
{
    const auto *p = reinterpret_cast<const uchar *>(bytes.constData());
    if (bytes.size() > 25 && bytes.startsWith("\x89PNG\r\n\x1a\n") && bytes.mid(12, 4) == "IHDR") {
        *size = QSize(int(qFromBigEndian<quint32>(p + 16)), int(qFromBigEndian<quint32>(p + 20)));
        return QStringLiteral("PNG colour %1, depth %2").arg(p[25]).arg(p[24]);
    }
    if (!bytes.startsWith("\xFF\xD8"))
        return {};
    // Walk the markers, each with its length, up to the first start-of-frame.
    for (int at = 2; at + 9 < bytes.size() && p[at] == 0xFF; at += 2 + qFromBigEndian<quint16>(p + at + 2)) {
        const int marker = p[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            *size = QSize(qFromBigEndian<quint16>(p + at + 7), qFromBigEndian<quint16>(p + at + 5));
            return QStringLiteral("JPEG frame %1, %2 components").arg(marker, 0, 16).arg(p[at + 9]);
        }
    }
    return {};
}

} // namespace

class TestLabelPictures : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureIsThereAsDrawn_data()
    {
        testsupport::addColumns<QString, QString, QSize>("path", "header", "size");
        for (const auto &picture : labelpictures::all) {
            QTest::newRow(picture.path) << QString::fromLatin1(picture.path)
                                        << QString::fromLatin1(encodingHeaders[int(picture.encoding)])
                                        << QSize(picture.width, picture.height);
        }
    }
    void everyPictureIsThereAsDrawn()
    {
        QFETCH(QString, path);
        QFETCH(QString, header);
        QFETCH(QSize, size);

        QImage image;
        QVERIFY(image.load(path)); // no format hint: recognised by content
        QCOMPARE(image.size(), size);
        QVERIFY(size.width() <= 246 && size.height() <= 122); // fits the picture label

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QSize stated;
        QCOMPARE(statedHeader(bytes, &stated), header);
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
        QCOMPARE(QDir(QStringLiteral(":/qjpg")).entryList(QDir::AllEntries),
                 QStringList {QStringLiteral("res")});
    }

    // Each model's label is its own picture: no two files look alike.
    void picturesAreDistinct()
    {
        QList<QImage> seen;
        for (const auto &picture : labelpictures::all) {
            const QImage image =
                QImage(QString::fromLatin1(picture.path)).convertToFormat(QImage::Format_RGB32);
            for (const QImage &other : seen)
                QVERIFY2(image != other, picture.path);
            seen << image;
        }
    }
};

QTEST_GUILESS_MAIN(TestLabelPictures)
#include "tst_labelpictures.moc"
