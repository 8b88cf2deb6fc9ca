#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QFont>
#include <QImage>
#include <QPixmap>

// Picture and text always change together: the picture shown is the one loaded in this
// same call, so a new model's text never appears over the previous model's label.
void MainWindow::ShowLicenceLabel(const QString &imagePath, const QString &text)
{
    // A path outside the bundle leaves a null image: no picture, but the text still shows.
    // The bundle's pictures never change, so the one loaded last is not decoded again when
    // it is asked for once more: decoding was most of the work of a cycle that shows a
    // device's label, and a device that stays is shown again in every cycle.
    const bool fromBundle = imagePath.startsWith(QLatin1String(":/"));
    if (!fromBundle || imagePath != labelImagePath) {
        labelImage->load(imagePath);
        labelImagePath = fromBundle ? imagePath : QString();
    }

    QFont bold = ui->label->font();
    bold.setWeight(QFont::Bold);
    ui->label->setText(text);
    ui->label->setFont(bold);
    ui->label->setStyleSheet(QStringLiteral("QLabel { color : white; }"));

    ui->label_show->setPixmap(QPixmap::fromImage(*labelImage, Qt::AutoColor));

    // What the operator now sees goes into the record.
    record.shown(imagePath, text);
}

// The label's bold font and white style stay, so the next result looks the same.
void MainWindow::ClearLicenceLabel()
{
    ui->label_show->clear();
    ui->label->clear();
}
