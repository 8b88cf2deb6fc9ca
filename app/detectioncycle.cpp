#include "app/mainwindow.h"
#include "net/tcptargets.h"
#include "shared/eventwait.h"

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
    // Record lines that could not be written wait for a poll that can write them.
    record.poll();

    // A serial device takes the whole cycle. OpenSerialPort tells the record which port
    // the dialogue talks to. Each dialogue that ends without a label or a message is a
    // device that did not answer.
    if (OpenSerialPort()) {
        QuerySerial();
        endDialogue();
        return;
    }
    record.gone(ResultRecord::Transport::Serial);

    // A newly attached USB device: its licence dialogue. A device outside the tool's reach
    // (usb/usbids.h) is left alone, and so it is no device the record lists as checked.
    if (CheckUsbList() != QLatin1String("NULL")) {
        if (usbReach.any || usbids::listed(usbReach, hidVid, hidPid))
            record.begin(ResultRecord::Transport::Usb, extraElement);
        QueryUsb();
        endDialogue();
    }

    // The network targets, whatever the steps before them found. A target the cycle does
    // not try (a serial device took the cycle) has not gone for the record.
    for (const tcptargets::Target &target : tcptargets::targets) {
        const QString where =
            QStringLiteral("%1:%2").arg(QLatin1String(target.ip), QLatin1String(target.port));
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
        endDialogue();
    }
}

// The cycle is done with a dialogue. One that a stop cut short (a close, a stop signal) has
// no outcome: the device was not done with, so it gets no line, not even "no answer".
void MainWindow::endDialogue()
{
    if (eventwait::stopping())
        record.dropDialogue();
    else
        record.ended();
}
