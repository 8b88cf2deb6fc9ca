#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/recordfile.h"
#include "shared/eventwait.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QStatusBar>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("quorvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    // Read before the GUI starts: --help, --version and a usage error need no display, and
    // touch no window and no device.
    CommandLine command;
    {
        const QCoreApplication reading(argc, argv);
        const int refused = readCommandLine(QCoreApplication::arguments(), &command);
        if (refused >= 0)
            return refused;
    }
    // A record file that holds something else, or that another tool writes, is refused
    // before the GUI starts. One that cannot be written yet is the window's to tell.
    std::unique_ptr<RecordFile> recordFile;
    if (!command.recordPath.isEmpty()) {
        recordFile = std::make_unique<RecordFile>(command.recordPath);
        QString why;
        if (recordFile->open(&why) == RecordFile::Opening::Refused) {
            std::fprintf(stderr, "quorvane: record %s refused: %s\n",
                         qPrintable(QDir::toNativeSeparators(command.recordPath)), qPrintable(why));
            return usageErrorExitCode;
        }
    }

    // The window is drawn by Qt's raster engine alone: nothing in it uses OpenGL. Without
    // this, Qt's X11 platform prepares every window for OpenGL as well and so loads the
    // system's OpenGL driver (with Mesa: llvmpipe and LLVM, some 50 MiB) at start-up.
    QApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication application(argc, argv);

    // The licence text asks for the family "iconfont", which workstations rarely have.
    // Without it, a condensed sans stands in, so that 21 bold characters fit the label's
    // band instead of running over its edges.
    QFont::insertSubstitutions(
        QStringLiteral("iconfont"),
        {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    // A stop signal (Ctrl-C, a logout's SIGTERM, SIGHUP) closes the window in order, as a
    // close by the operator does: after the dialogue's current step, devices given back.
    eventwait::stopOnSignals();
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
    if (recordFile)
        window.record.keepIn(std::move(recordFile));
    window.usbReach = command.usbReach;
    if (central) {
        window.record.alsoTo([record = central.get()](const QStringList &fields) { record->add(fields); });
        central->showIn(window.statusBar());
    }
    window.setWindowTitle(QStringLiteral("QuorvaneV1.10"));
    window.show();
    return application.exec();
}
