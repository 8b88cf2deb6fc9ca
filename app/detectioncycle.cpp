#include "app/mainwindow.h"
#include "net/tcptargets.h"
#include "shared/eventwait.h"
#include "ui_mainwindow.h"

#include <QStatusBar>

namespace {
constexpr int statusMessageMs = 8000;
}

// One detection cycle, once per tick of the poll timer. Its waits handle no timer, so a
// tick cannot come while it runs; should a platform deliver one anyway, it is ignored.
// A stop asked for during the cycle (a close, a stop signal) ends it after the step it was
// in, and then closes the window.
void MainWindow::dealTimer()
{
    if (cycleRunning)
        return;
    cycleRunning = true;
    tryTransports();
    cycleRunning = false;
    if (eventwait::stopping())
        close();
}

// The transports are tried in a fixed order and each one that answers is handed to its
// dialogue.
void MainWindow::tryTransports()
{
    // A serial device takes the whole cycle. OpenSerialPort tells the record which port
    // the dialogue talks to.
    if (OpenSerialPort()) {
        QuerySerial();
        return;
    }
    record.gone(ResultRecord::Transport::Serial);

    // A newly attached USB device: its licence dialogue.
    if (CheckUsbList() != QLatin1String("NULL")) {
        record.begin(ResultRecord::Transport::Usb, extraElement);
        QueryUsb();
    }

    // The network targets, whatever the steps before them found. A target the cycle does
    // not try (a serial device took the cycle) has not gone for the record.
    for (const tcptargets::Target &target : tcptargets::targets) {
        const QString where = QStringLiteral("%1:%2").arg(QLatin1String(target.ip), QLatin1String(target.port));
        const bool connected = ConnectTCP(QLatin1String(target.ip), QLatin1String(target.port),
                                          QLatin1String(target.user), QLatin1String(target.password));
        if (eventwait::stopping())
            return;
        if (!connected) {
            record.gone(ResultRecord::Transport::Tcp, where);
            continue;
        }
        if (target.tcpVariant != tcptargets::keepTcpVariant)
            tcpVariant = target.tcpVariant;
        record.begin(ResultRecord::Transport::Tcp, where);
        (this->*target.dialogue)();
    }
}

// Every message looks the same: isRed is carried along but changes nothing. A message
// that ends a dialogue goes into the record; when the record cannot be written, its own
// message follows (the record leaves it out: no dialogue is under way any more).
void MainWindow::ShowInformation(QString strShow, int isRed)
{
    Q_UNUSED(isRed)
    ui->statusbar->showMessage(strShow, statusMessageMs);
    const QString recordFailure = record.said(strShow);
    if (!recordFailure.isEmpty())
        emit ShowInformationTr(recordFailure, 0);
}
