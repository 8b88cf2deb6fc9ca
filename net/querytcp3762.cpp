// The login shell on port 3762: print the device's VLAN defaults file and take the licence
// text behind its "net_cert" entry. The address that answered (tcpVariant) picks the label
// of one model.
#include "app/mainwindow.h"
#include "net/tcpreply.h"
#include "shared/eventwait.h"

#include <QDebug>

namespace {
constexpr char printVlanDefaultsCommand[] = "cat /mnt/RT2860_default_vlan";
} // namespace

void MainWindow::QueryTcp3762()
{
    const QString value = tcpreply::netCertValue(readTCP(QLatin1String(printVlanDefaultsCommand)));
    if (eventwait::stopping())
        return;
    qDebug() << "readTCP readdata:" << value;
    ShowTcpLicence(tcpreply::picture3762(value, tcpVariant), value);
}

// The end of both network dialogues: the model's picture with the first characters of the
// licence value, or, for a model without a picture, a message and empty labels.
void MainWindow::ShowTcpLicence(const QString &picture, const QString &value)
{
    record.identified(tcpreply::modelKey(value));
    if (picture.isEmpty()) {
        emit ShowInformationTr(QStringLiteral("(tcp)不支持此机型！"), 0);
        ClearLicenceLabel();
        return;
    }
    const QString text = tcpreply::shownText(value);
    qDebug() << "读到的XKZstr:" << text;
    ShowLicenceLabel(picture, text);
}
