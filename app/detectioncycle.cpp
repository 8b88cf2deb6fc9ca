#include "app/mainwindow.h"
#include "net/tcptargets.h"
#include "ui_mainwindow.h"

#include <QStatusBar>

namespace {
constexpr int statusMessageMs = 8000;
}

// One detection cycle, once per tick of the poll timer: the transports are tried in a
// fixed order and each one that answers is handed to its dialogue.
void MainWindow::dealTimer()
{
    // A serial device takes the whole cycle.
    if (OpenSerialPort()) {
        QuerySerial();
        return;
    }

    // A newly attached USB device: its licence dialogue.
    if (CheckUsbList() != QLatin1String("NULL"))
        QueryUsb();

    // The network targets, whatever the steps before them found.
    for (const tcptargets::Target &target : tcptargets::targets) {
        if (!ConnectTCP(QLatin1String(target.ip), QLatin1String(target.port),
                        QLatin1String(target.user), QLatin1String(target.password)))
            continue;
        if (target.tcpVariant != tcptargets::keepTcpVariant)
            tcpVariant = target.tcpVariant;
        (this->*target.dialogue)();
    }
}

// Every message looks the same: isRed is carried along but changes nothing.
void MainWindow::ShowInformation(QString strShow, int isRed)
{
    Q_UNUSED(isRed)
    ui->statusbar->showMessage(strShow, statusMessageMs);
}
