// The TCP side of the network devices: one connection at a time on the window's socket,
// an optional login by user name and password, then one command line and its reply.
// Everything blocks the GUI thread with the socket's own waits and plain pauses.
#include "app/mainwindow.h"
#include "net/tcpreply.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>

namespace {

constexpr unsigned long settlePauseMs = 500; // before connecting, and before the login
constexpr int connectWaitMs = 1000;
constexpr int greetingWaitMs = 1000;
constexpr int loginReplyWaitMs = 1000;

constexpr int drainGapMs = 100;          // leftovers are drained until this much silence
constexpr int firstReplyWaitMs = 6000;
constexpr int replyGapMs = 1000;         // a reply is complete after this much silence

// A device that never stops talking must neither hang the tool nor fill its memory:
// the drain and the gathering of a reply have their own limits.
constexpr qint64 drainLimitBytes = 64 * 1024;
constexpr qint64 drainBudgetMs = 2000;   // for the whole drain
constexpr qint64 gatherBudgetMs = 10000; // counted from the reply's first data

// Every line goes out as its UTF-8 bytes and then, in a write of its own, one carriage
// return. No line feed is added: a command that carries its own "\r\n" gets "\r" behind it.
// The whole line is handed to the system at once: the socket's read waits return as soon
// as data comes in, and would never send a line to a device that keeps talking.
void writeLine(QTcpSocket &socket, const QString &text)
{
    socket.write(text.toUtf8());
    socket.write(QByteArray(1, '\r'));
    socket.flush();
}

// What is left of a budget, as a wait limit no longer than `cap`.
int remainingWait(const QElapsedTimer &since, qint64 budgetMs, int cap)
{
    return int(std::clamp<qint64>(budgetMs - since.elapsed(), 0, cap));
}

} // namespace

bool MainWindow::ConnectTCP(const QString &ip, const QString &port, const QString &user,
                            const QString &password)
{
    // Every call starts from a fresh connection: no login state survives a call.
    if (tcpSocket->isOpen())
        tcpSocket->close();
    QThread::msleep(settlePauseMs);
    tcpSocket->abort();

    const quint16 portNumber = port.toUShort(); // text that is not a number gives 0
    qDebug() << ip << portNumber;
    tcpSocket->connectToHost(QHostAddress(ip), portNumber, QIODevice::ReadWrite);
    if (!tcpSocket->waitForConnected(connectWaitMs)) {
        qDebug() << "TCP 连接失败1";
        return false;
    }

    // A greeting is optional. One read of what came: anything later stays for the login.
    if (tcpSocket->waitForReadyRead(greetingWaitMs))
        qDebug() << "bget" << tcpSocket->readAll();
    QThread::msleep(settlePauseMs);

    // The shell answers the user name in two chunks (its echo, then the password prompt);
    // the replies are logged, never interpreted.
    if (!user.isEmpty()) {
        writeLine(*tcpSocket, user);
        if (!tcpSocket->waitForReadyRead(loginReplyWaitMs))
            return false;
        qDebug() << "N1" << tcpSocket->readAll();
        if (!tcpSocket->waitForReadyRead(loginReplyWaitMs))
            return false;
        qDebug() << "N2" << tcpSocket->readAll();
    }

    // The password needs one reply; a second one (the prompt) is read when it comes.
    if (!password.isEmpty()) {
        writeLine(*tcpSocket, password);
        if (!tcpSocket->waitForReadyRead(loginReplyWaitMs))
            return false;
        qDebug() << "M1" << tcpSocket->readAll();
        if (tcpSocket->waitForReadyRead(loginReplyWaitMs))
            qDebug() << "M2" << tcpSocket->readAll();
    }
    return true;
}

QString MainWindow::readTCP(const QString &command)
{
    // Throw away what came unasked: the rest of the login, prompts, a late earlier reply.
    QElapsedTimer draining;
    draining.start();
    qint64 drained = 0;
    while (drained < drainLimitBytes) {
        const int wait = remainingWait(draining, drainBudgetMs, drainGapMs);
        if (wait == 0 || !tcpSocket->waitForReadyRead(wait))
            break;
        drained += tcpSocket->readAll().size();
    }

    writeLine(*tcpSocket, command);
    if (!tcpSocket->waitForReadyRead(firstReplyWaitMs))
        return QString();

    // Gather until the device falls silent for a second, or the reply is too long in size
    // or in time. Reading at most up to the limit keeps the reply within it.
    QElapsedTimer gathering;
    gathering.start();
    QByteArray reply = tcpSocket->read(licencetext::replyLimitBytes);
    while (reply.size() < licencetext::replyLimitBytes) {
        const int wait = remainingWait(gathering, gatherBudgetMs, replyGapMs);
        if (wait == 0 || !tcpSocket->waitForReadyRead(wait))
            break;
        reply += tcpSocket->read(licencetext::replyLimitBytes - reply.size());
    }

    qDebug() << "bget" << reply;
    return licencetext::upToZero(reply);
}
