#include "app/mainwindow.h"
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
}

// Every message looks the same: isRed is carried along but changes nothing.
void MainWindow::ShowInformation(QString strShow, int isRed)
{
    Q_UNUSED(isRed)
    ui->statusbar->showMessage(strShow, statusMessageMs);
}
