#ifndef QUORVANE_TESTS_SUPPORT_WINDOW_H
#define QUORVANE_TESTS_SUPPORT_WINDOW_H

// The window as the operator sees it, for every suite: the picture label, the licence text
// over it and the status messages said. A test reads what was shown and what was said
// here, and what the device received from its fake.

#include "app/mainwindow.h"
#include "runner/quietwindow.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringList>

namespace testsupport {

// A result put on screen before a dialogue, to tell kept, replaced and cleared apart.
inline const QString earlierPicture = QStringLiteral(":/qjpg/res/LBL17.png");
inline const QString earlierText = QStringLiteral("earlier-result-text");

class WindowProbe
{
public:
    explicit WindowProbe(MainWindow &window)
        : picture(window.findChild<QLabel *>(QStringLiteral("label_show")))
        , text(window.findChild<QLabel *>(QStringLiteral("label")))
        , said(&window, SIGNAL(ShowInformationTr(QString, int)))
        , m_window(window)
    {
    }

    QLabel *const picture; // label_show
    QLabel *const text;    // label, the licence text over the picture
    QSignalSpy said;       // every status message with its duration, in order

    // The picture at `path`, pixel for pixel, with `licence` over it.
    bool shows(const QString &path, const QString &licence) const
    {
        return showsPicture(path) && text->text() == licence;
    }
    bool showsPicture(const QString &path) const
    {
        const QImage shown = picture->pixmap(Qt::ReturnByValue).toImage();
        const QImage expected(path);
        return !shown.isNull() && !expected.isNull()
            && shown.convertToFormat(QImage::Format_ARGB32)
            == expected.convertToFormat(QImage::Format_ARGB32);
    }
    // Neither picture nor text.
    bool cleared() const { return picture->pixmap(Qt::ReturnByValue).isNull() && text->text().isEmpty(); }

    // The status messages said, in order.
    QStringList messages() const
    {
        QStringList texts;
        for (const QList<QVariant> &arguments : said)
            texts << arguments.at(0).toString();
        return texts;
    }
    QString statusBar() const { return m_window.statusBar()->currentMessage(); }

    void showEarlier() { m_window.ShowLicenceLabel(earlierPicture, earlierText); }
    bool showsEarlier() const { return shows(earlierPicture, earlierText); }

private:
    MainWindow &m_window;
};

// Stopping the window's poll timer, so that the test alone decides when a step runs, and
// one detection cycle as the poll timer runs it: the benchmark's own (runner/).
using runner::runCycle;
using runner::stopPolling;

struct WindowHolder
{
    MainWindow window;
};

// A window whose poll timer stands still, with its probe.
struct QuietWindow : WindowHolder, WindowProbe
{
    QuietWindow()
        : WindowProbe(window)
    {
        stopPolling(window);
    }
};

} // namespace testsupport

#endif // QUORVANE_TESTS_SUPPORT_WINDOW_H
