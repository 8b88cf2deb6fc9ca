#include "app/mainwindow.h"
#include "shared/eventwait.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTcpSocket>
#include <QTimer>

namespace {
constexpr int pollIntervalMs = 1000;
constexpr int stopCheckMs = 100;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    labelImage = std::make_unique<QImage>();
    ui->label_show->setPixmap(QPixmap::fromImage(*labelImage));

    serialPort = std::make_unique<QSerialPort>();
    connect(serialPort.get(), SIGNAL(error(QSerialPort::SerialPortError)), this,
            SLOT(serialporterr(QSerialPort::SerialPortError)));
    connect(this, SIGNAL(ShowInformationTr(QString, int)), this, SLOT(ShowInformation(QString, int)));

    recordState = new QLabel(this);
    recordState->setObjectName(QStringLiteral("recordState"));
    ui->statusbar->addPermanentWidget(recordState);
    record.onStateChange([this](bool written, const QString &message) { ShowRecordState(written, message); });

    // setupUi leaves the form's placeholder text on the label: the window opens empty.
    ui->label_show->clear();
    ui->label->clear();

    // The devices attached now are recorded before the first cycle, so that only devices
    // plugged in while the window is open start a dialogue.
    usbDevice = std::make_unique<BulkHidDevice>();
    InitUsbList();

    pollTimer = new QTimer(this);
    connect(pollTimer, SIGNAL(timeout()), this, SLOT(dealTimer()));
    pollTimer->start(pollIntervalMs);

    tcpSocket = std::make_unique<QTcpSocket>();

    // Not in the window's parent tree: the window's one child timer is the poll timer.
    connect(&stopCheck, &QTimer::timeout, this, [this] {
        if (eventwait::stopping())
            close();
    });
    stopCheck.start(stopCheckMs);
}

// A close between cycles closes the window, and the tool ends. During a cycle the close
// waits: the running wait ends, the dialogue ends after that step (its device closed, a
// detached kernel driver bound again), and the cycle closes the window when it returns.
void MainWindow::closeEvent(QCloseEvent *event)
{
    if (cycleRunning) {
        eventwait::requestStop();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// The members release the form, the picture and the transports; Qt's parent tree the
// widgets and the timer.
MainWindow::~MainWindow() = default;

// Serial failures are read from the results of the serial operations; the port's error
// signal carries nothing more.
void MainWindow::serialporterr(QSerialPort::SerialPortError error)
{
    Q_UNUSED(error)
}
