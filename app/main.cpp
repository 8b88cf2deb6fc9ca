#include "app/mainwindow.h"

#include <QApplication>
#include <QFont>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The licence text asks for the family "iconfont", which workstations rarely have.
    // Without it, a condensed sans stands in, so that 21 bold characters fit the label's
    // band instead of running over its edges.
    QFont::insertSubstitutions(QStringLiteral("iconfont"),
                               {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Liberation Sans Narrow")});
    MainWindow window;
    window.setWindowTitle(QStringLiteral("QuorvaneV1.10"));
    window.show();
    return application.exec();
}
