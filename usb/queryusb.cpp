// The licence dialogue with a newly attached USB bulk device: open it at its position,
// send the licence request, wait, read one reply packet and show the licence label or
// say what went wrong. The device is closed again on every path that opened it.
#include "app/mainwindow.h"
#include "res/labelpictures.h"
#include "usb/bulkhiddevice.h"
#include "usb/usbframe.h"
#include "shared/eventwait.h"

#include <QDebug>
#include <QFontDatabase>
#include <QStringList>

#include <libusb.h>

namespace {

constexpr int writeTimeoutMs = 1000;
constexpr int replyWaitMs = 500;
constexpr int readTimeoutMs = 100;
constexpr int nothingReceived = 17;

constexpr char labelPicture[] = ":/qjpg/res/LBL17.png";

// A listed device the operator may not open (its node under /dev/bus/usb is not theirs):
// said once per arrival, since each arrival has one dialogue. The README says how to fix it.
constexpr char noAccessMessage[] = "USB设备无访问权限";
static_assert(labelpictures::listed(labelPicture), "res/draw-labels.sh does not draw the USB label picture");

// What the operator is told when the reply is not a licence.
struct FailureMessage
{
    usbframe::ReplyVerdict verdict;
    const char *logLine; // debug line before the message, or nullptr
    const char *message; // status bar text
    bool logTail;        // the reply's offsets 10..129 in hex after closing
};
constexpr FailureMessage failureMessages[] = {
    {usbframe::ReplyVerdict::TooShort, nullptr, "读取失败,长度小于9", false},
    {usbframe::ReplyVerdict::CheckFailed, "校验失败", "校验失败", false},
    {usbframe::ReplyVerdict::ReadFailed, "读取失败", "读取失败", true},
};

} // namespace

// Opens the device at a position "bus,port" with the IDs presence detection took for it,
// if it is a device the tool may reach (usb/usbids.h). False when the device is open, true
// when opening failed.
bool MainWindow::OpenPort(QString position)
{
    const QStringList parts = position.split(QLatin1Char(','), Qt::KeepEmptyParts);
    qDebug() << parts.value(0) << parts.value(1);
    qDebug() << "HIDPID:" << hidPid << "hidVid:" << hidVid;

    const usbframe::BusPort where = usbframe::splitPosition(position);
    const QByteArray params = usbframe::openParamsJson(hidVid, hidPid, where.bus, where.port);
    usbDevice->setReach(usbReach);
    const int result = usbDevice->openByBusPort(params.toStdString());
    qDebug() << result;
    if (result == 0) {
        qDebug() << "USB连接" << usbDevice->deviceCount();
        return false;
    }
    if (result == LIBUSB_ERROR_ACCESS)
        emit ShowInformationTr(QString::fromUtf8(noAccessMessage), 0);
    // A device object whose open ended in "not found" is replaced by a fresh one, with a
    // new libusb context.
    if (result == LIBUSB_ERROR_NOT_FOUND) {
        usbDevice.reset();
        usbDevice = std::make_unique<BulkHidDevice>();
    }
    return true;
}

// One reply packet into bytes: 0, or 17 with bytes unchanged when nothing arrived.
int MainWindow::readUSB(std::string &bytes)
{
    std::string packet;
    const int result = usbDevice->read(packet, readTimeoutMs);
    qDebug() << QByteArray::fromStdString(packet).toHex();
    if (packet.empty())
        return nothingReceived;
    bytes = packet;
    return result;
}

void MainWindow::QueryUsb()
{
    if (OpenPort(extraElement))
        return;
    auto closeDevice = [this] {
        if (usbDevice->isOpen())
            usbDevice->close();
    };

    const QByteArray request = usbframe::licenceRequest();
    if (usbDevice->write(request.constData(), request.size(), writeTimeoutMs) < 0) {
        closeDevice();
        return;
    }
    // The device needs time to prepare its answer; the window is served meanwhile. A stop
    // during the wait ends the dialogue here, the device closed.
    if (!eventwait::pause(replyWaitMs)) {
        closeDevice();
        return;
    }

    std::string packet;
    readUSB(packet);
    const usbframe::LicenceReply reply = usbframe::readLicenceReply(packet);

    if (reply.verdict == usbframe::ReplyVerdict::Success) {
        qDebug() << "成功";
        closeDevice();
        qDebug() << "ASCII String:" << reply.tail;
        for (const QChar c : reply.tail)
            qDebug() << c;
        qDebug() << "网证:" << reply.licence;
        const QStringList families = QFontDatabase().families(QFontDatabase::SimplifiedChinese);
        for (const QString &family : families)
            qDebug() << "名称:" << family;
        ShowLicenceLabel(QString::fromLatin1(labelPicture), reply.licence);
        return;
    }

    for (const FailureMessage &failure : failureMessages) {
        if (failure.verdict != reply.verdict)
            continue;
        if (failure.logLine)
            qDebug() << failure.logLine;
        emit ShowInformationTr(QString::fromUtf8(failure.message), 0);
        closeDevice();
        if (failure.logTail)
            qDebug() << reply.tailHex.constData();
        return;
    }
}
