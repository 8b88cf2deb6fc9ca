// The label view: the model's picture with the licence text in bold white over it.
#include "app/mainwindow.h"
#include "tests/support/testmain.h"
#include "tests/support/window.h"

#include <QLabel>
#include <QtTest>

using namespace testsupport;

namespace {

const QString lbl15 = QStringLiteral(":/qjpg/res/LBL15.png");
const QString lbl08 = QStringLiteral(":/qjpg/res/LBL08.jpg");
const QString licence = QStringLiteral("ABCDEFGHIJ0123456789K"); // 21 characters

// The window with its poll timer running, as it opens.
struct View : WindowHolder, WindowProbe
{
    View()
        : WindowProbe(window)
    {
    }
    bool noPicture() const { return picture->pixmap(Qt::ReturnByValue).isNull(); }
    // The text label's look: bold white letters.
    bool whiteBold() const
    {
        return text->font().weight() == QFont::Bold
            && text->styleSheet() == QLatin1String("QLabel { color : white; }");
    }
};

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
        QVERIFY(view.shows(lbl15, licence));
        QVERIFY(view.whiteBold());
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
        QVERIFY(view.shows(lbl08, QStringLiteral("700102ZX")));
        // And back: the first picture again, not the one shown last.
        view.window.ShowLicenceLabel(lbl15, licence);
        QVERIFY(view.shows(lbl15, licence));
    }

    void clearEmptiesBothAndShowWorksAgain()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ClearLicenceLabel();
        QVERIFY(view.cleared());
        QVERIFY(view.whiteBold()); // the look survives the clear

        view.window.ShowLicenceLabel(lbl08, licence);
        QVERIFY(view.shows(lbl08, licence));
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
        QVERIFY(view.noPicture()); // never the previous model's picture
        QCOMPARE(view.text->text(), QStringLiteral("700101"));
        // Twice in a row it stays without a picture; the known picture then comes back.
        view.window.ShowLicenceLabel(path, QStringLiteral("700101"));
        QVERIFY(view.noPicture());
        view.window.ShowLicenceLabel(lbl15, licence);
        QVERIFY(view.shows(lbl15, licence));
    }

    void emptyTextStillShowsThePicture()
    {
        View view;
        view.window.ShowLicenceLabel(lbl15, licence);
        view.window.ShowLicenceLabel(lbl15, QString());
        QVERIFY(view.shows(lbl15, QString()));
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
        const QRect top(0, 0, 243, 60);
        const QRect shownTop = top.translated(pictureArea.topLeft());
        const QImage expected = QImage(lbl15).copy(top).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(rendered.copy(shownTop).convertToFormat(QImage::Format_ARGB32), expected);
        QCOMPARE(whitePixels(rendered, band), 0);

        view.window.ShowLicenceLabel(lbl15, licence);
        rendered = central->grab().toImage();
        QVERIFY2(whitePixels(rendered, band) > 40, "no white letters in the picture's band");
        QCOMPARE(rendered.copy(shownTop).convertToFormat(QImage::Format_ARGB32), expected);
    }
};

QUORVANE_TEST_MAIN(TestLabelView, None)
#include "tst_labelview.moc"
