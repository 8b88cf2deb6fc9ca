// The AT-command service on port 9527, without login: the device acknowledges production
// mode, then hands over its record whose last field is the licence text.
#include "app/mainwindow.h"
#include "net/tcpreply.h"
#include "shared/eventwait.h"

#include <QDebug>

namespace {
// readTCP puts a carriage return behind each, so they go out as "...\r\n\r".
constexpr char productionModeCommand[] = "AT*PROD=1\r\n";
constexpr char serialRecordCommand[] = "AT*MRD_SN=R\r\n";
} // namespace

void MainWindow::QueryTcp9527()
{
    const QString acknowledgement = readTCP(QLatin1String(productionModeCommand));
    if (eventwait::stopping())
        return;
    if (!tcpreply::acknowledges(acknowledgement)) {
        emit ShowInformationTr(QStringLiteral("返回值错误!"), 0);
        ClearLicenceLabel();
        return;
    }

    const QString value = tcpreply::lastCommaField(readTCP(QLatin1String(serialRecordCommand)));
    if (eventwait::stopping())
        return;
    qDebug() << "readTCP readdata:" << value;
    ShowTcpLicence(tcpreply::picture9527(value), value);
}
