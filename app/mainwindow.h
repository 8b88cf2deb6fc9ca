#ifndef QUORVANE_MAINWINDOW_H
#define QUORVANE_MAINWINDOW_H

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include "app/resultrecord.h"
#include "usb/bulkhiddevice.h"
#include "usb/usbids.h"
#include "usb/usbpresence.h"

#include <memory>
#include <string>

class QCloseEvent;
class QImage;
class QLabel;
class QTcpSocket;

namespace Ui {
class MainWindow;
}

// The one window of the tool. It owns every transport and carries the whole logic as
// operations: the detection cycle and the label view live in app/, the serial, network and
// USB dialogues in serial/, net/ and usb/. Everything runs on the GUI thread. The waits
// inside a cycle keep the window painted and answering (shared/eventwait.h) but handle no
// timer, so cycles never overlap; a close during a cycle is taken up once the dialogue's
// current step is done.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Label view (app/labelview.cpp): how every dialogue shows or removes its result.
    void ShowLicenceLabel(const QString &imagePath, const QString &text);
    void ClearLicenceLabel();
    // The record's state, beside the status messages (app/detectioncycle.cpp).
    void ShowRecordState(bool written, const QString &message);

    // Serial devices (serial/): choose and open the port of a supported device, then hold
    // the AT dialogue that reads its IMEI and licence text.
    bool OpenSerialPort();
    void QuerySerial();

    // Network devices (net/): the TCP connection with its optional login, one command line
    // and its reply, and the dialogues of the port-9527 AT service and the port-3762 shell.
    bool ConnectTCP(const QString &ip, const QString &port, const QString &user, const QString &password);
    QString readTCP(const QString &command);
    void QueryTcp9527();
    void QueryTcp3762();

    // USB bulk device (usb/): the snapshot of attached devices taken at start-up and
    // renewed by each cycle, and the licence dialogue with a newly attached device.
    void InitUsbList();
    QString CheckUsbList();
    bool OpenPort(QString position);
    int readUSB(std::string &bytes);
    void QueryUsb();

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    void ShowInformationTr(QString strShow, int isRed);

private slots:
    void dealTimer();
    void serialporterr(QSerialPort::SerialPortError error);
    void ShowInformation(QString strShow, int isRed);

public:
    // State of the dialogues. Public so that the tests can set up and inspect a dialogue
    // exactly as the detection cycle leaves it.
    std::unique_ptr<BulkHidDevice> usbDevice; // re-created when an open ends in "not found"
    std::unique_ptr<QSerialPort> serialPort;
    int serialKind = 0;   // which port rule chose the open port
    int modelVariant = 0; // set by the serial model table; picks the kind-0 licence command
    std::unique_ptr<QTcpSocket> tcpSocket;
    QList<QString> usbPositions;
    quint16 hidPid = 0;
    quint16 hidVid = 0;
    QList<quint16> usbPids;
    QList<quint16> usbVids;
    QString extraElement;      // position of the device found by the last comparison
    usbids::UsbReach usbReach; // which USB devices the dialogue may open (--usb-id)
    bool usbListed = false;    // a walk has succeeded: the snapshot above is the real one
    int tcpVariant = 0;        // which port-3762 address answered: 0 is 192.168.2.1, 1 is 192.168.10.1
    // The operator's record of the results (--record FILE); keeps nothing unless main
    // gives it a file. The cycle and the dialogues' endings feed it.
    ResultRecord record;

private:
    // The transports in their order, each handed to its dialogue: the body of one cycle.
    void tryTransports();
    void endDialogue();
    // The rest of a serial reply that arrives after its first part (serial/queryserial.cpp).
    void ReadSerialContinuation(QByteArray &reply);
    // The common end of the two network dialogues (net/querytcp3762.cpp).
    void ShowTcpLicence(const QString &picture, const QString &value);

    UsbDefaultContext usbDefaultContext; // libusb's default context, for the presence walks
    std::unique_ptr<Ui::MainWindow> ui;
    std::unique_ptr<QImage> labelImage;
    QString labelImagePath; // the bundle picture labelImage holds; empty: none, or another file
    QTimer *pollTimer = nullptr;
    QLabel *recordState = nullptr; // the status bar's permanent place for the record
    bool cycleRunning = false;
    // Outside the cycles: closes the window once a stop signal has come.
    QTimer stopCheck;
};

#endif // QUORVANE_MAINWINDOW_H
