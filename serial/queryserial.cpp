#include "app/mainwindow.h"
#include "res/labelpictures.h"
#include "serial/portrules.h"
#include "serial/serialreply.h"
#include "shared/eventwait.h"

#include <QDebug>
#include <QElapsedTimer>
#include <iterator>

namespace {

constexpr int imeiWaitMs = 3000;
constexpr int licenceWaitMs = 10000;
constexpr int continuationStepMs = 100;
// A device that never stops talking is listened to for this long at most.
constexpr int continuationLimitMs = 2000;

// Every device understands this one when its own IMEI command gets no answer.
constexpr char fallbackImeiCommand[] = "AT*MRD_IMEI=R\r\n";

struct LicenceQuery
{
    const char *command;
    const char *marker;
    int offset; // from the marker's first byte to the licence text
};

struct SerialCommands
{
    const char *imeiCommand;  // null: the device is not asked for its IMEI
    const char *fixedPicture; // the picture when there is no IMEI to look up
    LicenceQuery licence;
    LicenceQuery licenceForVariantOne; // when modelVariant is 1
    bool reportsSilence;               // a licence command without answer is reported
};

// By serialKind, the number of the port rule that chose the port.
constexpr SerialCommands serialCommands[] = {
    {"AT*MRD_IMEI=R\r\n",
     nullptr,
     {"AT*KESET=26\r\n", "+KESET: 26,", 11},
     {"AT+USERDATAR=1,21\r\n", "+USERDATAR:21,", 14},
     true},
    {"AT+CGSN\r\n", nullptr, {"AT+NCSN?\r\n", "AT+NCSN?", 12}, {"AT+NCSN?\r\n", "AT+NCSN?", 12}, true},
    {"AT+EGMR=0\r\n", nullptr, {"AT*MRD_SN=R\r\n", "2010,", 5}, {"AT*MRD_SN=R\r\n", "2010,", 5}, true},
    {nullptr,
     ":/qjpg/res/BKG00.png",
     {"AT*MRD_SN=R\r\n", "MRD_SN:", 8},
     {"AT*MRD_SN=R\r\n", "MRD_SN:", 8},
     false},
};
static_assert(std::size(serialCommands) == serialKindCount);
static_assert(
    [] {
        for (const SerialCommands &commands : serialCommands) {
            if (!labelpictures::listed(commands.fixedPicture))
                return false;
        }
        return true;
    }(),
    "a port kind names a label picture that res/draw-labels.sh does not draw");

// What a device sends when its licence field is empty.
constexpr char emptyLicenceField[] = "\r\n\r\nOK\r\n";

// Waits up to `ms` for the device's next bytes while the window is served: true when
// bytes came (also bytes that came while an earlier wait served the window, before they
// were read), false on time-out, when reading the port failed (a device pulled out), or
// when the tool is stopping.
bool waitForReadyRead(QSerialPort &port, int ms)
{
    const auto failed = [&port] {
        return port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError;
    };
    bool broken = false;
    const bool came = eventwait::until(
        [&] {
            broken = failed();
            return broken || port.bytesAvailable() > 0;
        },
        ms);
    return came && !broken;
}

} // namespace

// The AT dialogue with the device on the open port: its IMEI names the model and so the
// label picture, then its licence text is cut from the reply to the licence command.
// Every wait serves the window; the port stays open for the next cycle to close. When the
// tool is stopping, the dialogue ends after the wait it was in.
void MainWindow::QuerySerial()
{
    if (serialKind < 0 || serialKind >= int(std::size(serialCommands)))
        return;
    const SerialCommands &commands = serialCommands[serialKind];

    QString picture;
    if (!commands.imeiCommand) {
        picture = QString::fromLatin1(commands.fixedPicture);
    } else {
        serialPort->write(commands.imeiCommand);
        if (!waitForReadyRead(*serialPort, imeiWaitMs)) {
            if (eventwait::stopping())
                return;
            serialPort->write(fallbackImeiCommand);
            if (!waitForReadyRead(*serialPort, imeiWaitMs)) {
                if (eventwait::stopping())
                    return;
                emit ShowInformationTr(QStringLiteral("指令接收失败10000！"), 0);
                return;
            }
        }
        QByteArray imeiReply = serialPort->readAll();
        if (!imeiReply.toLower().contains("error"))
            ReadSerialContinuation(imeiReply);
        if (eventwait::stopping())
            return;
        qDebug() << "读到的readdata：" << imeiReply;
        record.identified(serialreply::extractImei(QString::fromUtf8(imeiReply)));

        // The variant belongs to the device in hand: one left by an earlier device must
        // not choose this device's licence command.
        modelVariant = 0;
        const std::optional<serialreply::SerialModel> model = serialreply::findSerialModel(imeiReply);
        if (!model) {
            emit ShowInformationTr(QStringLiteral("不支持此机型！"), 0);
            ClearLicenceLabel();
            return;
        }
        picture = model->picture;
        if (model->modelVariant != serialreply::keepModelVariant)
            modelVariant = model->modelVariant;
    }

    const LicenceQuery &query = modelVariant == 1 ? commands.licenceForVariantOne : commands.licence;
    qDebug() << "sendstr:" << QByteArray(query.command);
    serialPort->write(query.command);
    if (!waitForReadyRead(*serialPort, licenceWaitMs)) {
        if (eventwait::stopping())
            return;
        if (commands.reportsSilence)
            emit ShowInformationTr(QStringLiteral("指令接收失败！"), 0);
        return;
    }
    QByteArray licenceReply = serialPort->readAll();
    const QByteArray lower = licenceReply.toLower();
    if (!lower.contains("ok") && !lower.contains("error"))
        ReadSerialContinuation(licenceReply);
    if (eventwait::stopping())
        return;
    qDebug() << "读到的网证:" << licenceReply;

    // Without its marker the reply carries no licence: it is reported as a failed reply.
    const std::optional<QString> licence =
        serialreply::cutLicenceText(licenceReply, query.marker, query.offset);
    if (!licence) {
        qDebug() << "网证标记缺失:" << query.marker;
        if (commands.reportsSilence)
            emit ShowInformationTr(QStringLiteral("指令接收失败！"), 0);
        return;
    }
    qDebug() << "读到的XKZstr:" << *licence;

    if (*licence != QLatin1String(emptyLicenceField))
        ShowLicenceLabel(picture, *licence);
}

// The rest of a reply that arrives after its first part: read on while each wait of
// 100 ms brings text, up to licencetext::replyLimitBytes or continuationLimitMs in all.
void MainWindow::ReadSerialContinuation(QByteArray &reply)
{
    QElapsedTimer running;
    running.start();
    for (;;) {
        const qint64 left = continuationLimitMs - running.elapsed();
        if (left <= 0)
            return;
        waitForReadyRead(*serialPort, int(qMin<qint64>(continuationStepMs, left)));
        if (eventwait::stopping())
            return;
        if (!serialreply::appendContinuationRead(reply, serialPort->readAll()))
            return;
    }
}
