#ifndef QUORVANE_RUNNER_QUIETWINDOW_H
#define QUORVANE_RUNNER_QUIETWINDOW_H

// The tool's window in the caller's own process, its poll timer stopped, so that the caller
// alone decides when a step or a cycle runs: the benchmark times them, the tests' window
// probe (tests/support/window.h) checks them. Header only: it needs the tool's code
// (quorvane_core), which the runner library itself does not link.

#include "app/mainwindow.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

namespace runner {

// Stops the window's poll timer.
inline void stopPolling(MainWindow &window)
{
    for (QTimer *timer : window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
        timer->stop();
}

// One detection cycle, as the poll timer runs it; how long it took in ms.
inline qint64 runCycle(MainWindow &window)
{
    QElapsedTimer clock;
    clock.start();
    QMetaObject::invokeMethod(&window, "dealTimer", Qt::DirectConnection);
    return clock.elapsed();
}

// The licence text shown over the picture.
inline QString shownText(const MainWindow &window)
{
    return window.findChild<QLabel *>(QStringLiteral("label"))->text();
}

} // namespace runner

#endif // QUORVANE_RUNNER_QUIETWINDOW_H
