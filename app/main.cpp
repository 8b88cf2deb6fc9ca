#include "app/commandline.h"
#include "app/mainwindow.h"

#include <QApplication>
#include <QFont>
#include <QStatusBar>

#include <cstdio>
#include <memory>

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
    // The central record outlives the window, whose record hands it the lines.
    std::unique_ptr<CentralRecord> central;
    if (!command.central.uri.isEmpty()) {
        central = std::make_unique<CentralRecord>(command.central);
        QString why;
        if (!central->open(&why)) {
            std::fprintf(stderr, "quorvane: --record-to: %s\n", qPrintable(why));
            return usageErrorExitCode;
        }
    }
    MainWindow window;
    if (!command.recordPath.isEmpty())
        window.record.keepIn(command.recordPath);
    if (central) {
        window.record.alsoTo([record = central.get()](const QStringList &fields) { record->add(fields); });
        central->showIn(window.statusBar());
    }
    window.setWindowTitle(QStringLiteral("QuorvaneV1.10"));
    window.show();
    return application.exec();
}
