// What the status bar says: a dialogue's message for eight seconds, and the record's state
// in a place of its own at the bar's right end.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QLabel>
#include <QStatusBar>
#include <QTimer>

namespace {
constexpr int statusMessageMs = 8000;
}

// Every message looks the same: isRed is carried along but changes nothing. A message
// that ends a dialogue goes into the record.
void MainWindow::ShowInformation(QString strShow, int isRed)
{
    Q_UNUSED(isRed)
    ui->statusbar->showMessage(strShow, statusMessageMs);
    record.said(strShow);
}

// The record's state has a place of its own at the status bar's right end, so that it
// never takes the place of a dialogue's message: while lines wait it says why, for as long
// as they wait; when they are written it says so, for as long as a message stays.
void MainWindow::ShowRecordState(bool written, const QString &message)
{
    recordState->setText(message);
    recordState->setVisible(true);
    if (written) {
        QTimer::singleShot(statusMessageMs, recordState, [label = recordState, message] {
            if (label->text() == message)
                label->clear();
        });
    }
}
