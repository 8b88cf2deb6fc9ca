#include "app/commandline.h"
#include "app/mainwindow.h"
#include "shared/eventwait.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    // The window is drawn by Qt's raster engine alone: nothing in it uses OpenGL. Without
    // this, Qt's X11 platform prepares every window for OpenGL as well and so loads the
    // system's OpenGL driver (with Mesa: llvmpipe and LLVM, some 50 MiB) at start-up.
    QApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvane"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    // Read before the window exists: a usage error touches no window and no device.
    CommandLine command;
    const int refused = readCommandLine(QApplication::arguments(), &command);
    if (refused >= 0)
        return refused;

    // The licence text asks for the family "iconfont", which workstations rarely have.
    // Without it, a condensed sans stands in, so that 21 bold characters fit the label's
    // band instead of running over its edges.
    QFont::insertSubstitutions(QStringLiteral("iconfont"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    // A stop signal (Ctrl-C, a logout's SIGTERM, SIGHUP) closes the window in order, as a
    // close by the operator does: after the dialogue's current step, devices given back.
    eventwait::stopOnSignals();
    MainWindow window;
    if (!command.recordPath.isEmpty())
        window.record.keepIn(command.recordPath);
    window.setWindowTitle(QStringLiteral("QuorvaneV1.10"));
    window.show();
    return application.exec();
}
