// The label view: the model's picture with the licence text in bold white over it.
#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"

#include <QLabel>
#include <QtTest>

namespace {

const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl08 = QStringLiteral(":/qjpg/res/LBL08.jpg");
const QString licence = QStringLiteral("ABCDEFGHIJ0123456789K"); // 21 characters

// The window with its poll timer running, as it opens.
struct View : testsupport::WindowHolder, testsupport::WindowProbe {
    View() : WindowProbe(window) {}
    QImage shownPicture() const { return picture->pixmap(Qt::ReturnByValue).toImage(); }
};

QImage resourceImage(const QString &path)
{
    QImage image(path);
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.size() == b.size()
        && a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

// Pixels of an area of the rendered central widget that are close to pure white.
int whitePixels(const QImage &image, const QRect &area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 225 && c.green() > 225 && c.blue() > 225;
        }
    return count;
}

} // namespace

class TestLabelView : public QObject
{
    Q_OBJECT

private slots:

    void showsPictureAndTextTogether()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        QCOMPARE(view.text->text(), licence);
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl15)));
        QCOMPARE(view.text->font().weight(), 75);
        QCOMPARE(view.text->styleSheet(), QStringLiteral("QLabel { color : white; }"));
        // Bold is applied to the label's own font: family, size and kerning stay.
        QCOMPARE(view.text->font().family(), QStringLiteral("iconfont"));
        QCOMPARE(view.text->font().pointSize(), 12);
        QVERIFY(view.text->font().kerning());
    }

    void secondResultReplacesTheFirst()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ShowLicenceLabel(lbl08, QStringLiteral("700102ZX"));
        QCOMPARE(view.text->text(), QStringLiteral("700102ZX"));
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl08)));
        QCOMPARE(view.shownPicture().size(), QSize(246, 122));
        // And back: the first picture again, not the one shown last.
        view.window.ShowLicenceLabel(lbl15, licence);
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl15)));
    }

    void clearEmptiesBothAndShowWorksAgain()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ClearLicenceLabel();
        QVERIFY(view.text->text().isEmpty());
        QVERIFY(view.shownPicture().isNull());
        // The white bold look survives the clear.
        QCOMPARE(view.text->font().weight(), 75);
        QCOMPARE(view.text->styleSheet(), QStringLiteral("QLabel { color : white; }"));

        view.window.ShowLicenceLabel(lbl08, licence);
        QCOMPARE(view.text->text(), licence);
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl08)));
    }

    void unknownPathShowsTextWithoutPicture_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("not in the bundle") << QStringLiteral(":/qjpg/res/LBL99.png");
        QTest::newRow("wrong extension") << QStringLiteral(":/qjpg/res/LBL15.jpg");
        QTest::newRow("empty") << QString();
    }
    void unknownPathShowsTextWithoutPicture()
    {
        QFETCH(QString, path);
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ShowLicenceLabel(path, QStringLiteral("700101"));
        QVERIFY(view.shownPicture().isNull()); // never the previous model's picture
        QCOMPARE(view.text->text(), QStringLiteral("700101"));
        // Twice in a row it stays without a picture; the known picture then comes back.
        view.window.ShowLicenceLabel(path, QStringLiteral("700101"));
        QVERIFY(view.shownPicture().isNull());
        view.window.ShowLicenceLabel(lbl15, licence);
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl15)));
    }

    void emptyTextStillShowsThePicture()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ShowLicenceLabel(lbl15, QString());
        QVERIFY(view.text->text().isEmpty());
        QVERIFY(samePixels(view.shownPicture(), resourceImage(lbl15)));
    }

    void textIsShownUnchanged()
    {
        View view;
        const QString odd = QStringLiteral("70\r\n\r\nOK\r\n\u4e2d <b>x</b>");
        view.window.ShowLicenceLabel(lbl15, odd);
        QCOMPARE(view.text->text(), odd);
    }

    // What the operator sees: the picture at its place, white letters in its dark band.
    void rendersWhiteTextOverThePicture()
    {
        View view;
        QWidget *central = view.window.centralWidget();
        // A label without alignment of its own centres its pixmap vertically: the 121 px
        // picture sits 2 px below the top of the 125 px label.
        const QRect pictureArea(60, 52, 243, 121);
        const QRect band(60 + 10, 52 + 97, 243 - 20, 16); // the dark band behind the text

        view.window.ShowLicenceLabel(lbl15, QString());
        QImage rendered = central->grab().toImage();
        // Above the text, the rendered pixels are the picture's own.
        const QImage expected = resourceImage(lbl15);
        const QRect top(0, 0, 243, 60);
        QVERIFY(samePixels(rendered.copy(top.translated(pictureArea.topLeft())), expected.copy(top)));
        QCOMPARE(whitePixels(rendered, band), 0);

        view.window.ShowLicenceLabel(lbl15, licence);
        rendered = central->grab().toImage();
        QVERIFY2(whitePixels(rendered, band) > 40, "no white letters in the picture's band");
        QVERIFY(samePixels(rendered.copy(top.translated(pictureArea.topLeft())), expected.copy(top)));
    }
};

QUORVANE_TEST_MAIN(TestLabelView, None)
#include "tst_labelview.moc"
