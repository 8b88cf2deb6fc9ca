#include "app/mainwindow.h"
#include "serial/portrules.h"

#include <QDebug>
#include <QSerialPortInfo>

#include <iterator>

namespace {

// Tried in this order for each port. The last two rows are one rule (kind 3): its first
// text, or else its second.
constexpr PortRule portRules[] = {
    {"DeviceCOM", 0, QSerialPort::Baud115200},
    {"Unisoc Usb Serial Port 0COM", 1, QSerialPort::Baud115200},
    {"Quectel USB REPL Port", 2, QSerialPort::Baud115200},
    {"USB-SERIAL CH340", 3, 1000000},
    {"串行设备", 3, 1000000},
};
static_assert(portRules[std::size(portRules) - 1].serialKind == serialKindCount - 1);

} // namespace

const PortRule *findPortRule(const QString &matchKey)
{
    for (const PortRule &rule : portRules) {
        if (matchKey.contains(QString::fromUtf8(rule.text), Qt::CaseSensitive))
            return &rule;
    }
    return nullptr;
}

// Finds the first port of a supported device, remembers which rule chose it, and opens
// it for the AT dialogue. The port of the previous cycle is closed first, so a device
// that stays attached sees its port closed and opened again once per cycle.
bool MainWindow::OpenSerialPort()
{
    if (serialPort->isOpen())
        serialPort->close();
    serialPort->clearError();

    const PortRule *chosen = nullptr;
    QString chosenName = QString::fromUtf8(portRules[0].text);
    QString chosenDescription;
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        const QString matchKey = port.description() + port.portName();
        qDebug() << matchKey;
        if ((chosen = findPortRule(matchKey))) {
            serialKind = chosen->serialKind;
            chosenName = port.portName();
            chosenDescription = port.description();
            break; // the first supported port wins, busy or not
        }
    }
    if (!chosen) {
        qDebug().noquote() << QStringLiteral("not find ") + chosenName;
        return false;
    }

    serialPort->setPortName(chosenName);
    bool opened = false;
    try {
        opened = serialPort->open(QIODevice::ReadWrite);
    } catch (...) {
        qDebug() << "打开串口:" << serialPort->portName() << "异常，可能导致崩溃";
        return false;
    }
    qDebug() << "打开串口:" << serialPort->portName() << opened;
    if (!opened) {
        // Held by another program, removed or forbidden: no other port is tried.
        serialPort->close();
        serialPort->clearError();
        return false;
    }

    // Failures here go unnoticed: the dialogue talks at whatever settings the port has.
    serialPort->setBaudRate(chosen->baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::Data8);
    serialPort->setParity(QSerialPort::NoParity);
    serialPort->setStopBits(QSerialPort::OneStop);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);
    // The dialogue that follows talks to this port.
    record.begin(ResultRecord::Transport::Serial,
                 QStringLiteral("%1 (%2)").arg(chosenName, chosenDescription));
    return true;
}
