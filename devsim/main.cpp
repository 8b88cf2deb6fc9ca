// quorvane-devsim: presents emulated devices of every kind the tool serves (serial ports,
// a USB bulk device, the network services) and, given a program, runs it under the same
// emulation. See --help. The command line is read in options.cpp, the devices are built in
// devices.cpp from the personas beside the fakes of sim/, the demo is the table in
// scenario.cpp, and run.cpp plays the stages.
#include "devsim/options.h"
#include "devsim/run.h"
#include "sim/emulation/testbed.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    // The emulated devices exist only for programs loaded with umockdev's preload library:
    // this one, and the program it starts.
    quorvane::sim::Testbed::runUnderEmulation(argc, argv);
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvane-devsim"));

    devsim::Settings settings;
    QString why;
    if (!devsim::parseCommandLine(application, &settings, &why)) {
        std::fprintf(stderr, "quorvane-devsim: %s\n", qPrintable(why));
        return 2;
    }
    return devsim::run(settings);
}
