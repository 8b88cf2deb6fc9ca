#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    MainWindow window;
    window.setWindowTitle(QStringLiteral("QuorvaneV1.10"));
    window.show();
    return application.exec();
}
