// The TCP side of the network devices: one connection at a time on the window's socket,
// an optional login by user name and password, then one command line and its reply.
// Every wait and pause serves the window meanwhile (shared/eventwait.h) and is measured as
// the socket's own blocking waits measured it. When the tool is stopping, a wait ends at
// once and the connection or the command ends there, without sending anything more.
#include "app/mainwindow.h"
#include "net/tcpreply.h"
#include "shared/eventwait.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>

namespace {

constexpr int settlePauseMs = 500; // before connecting, and before the login
constexpr int connectWaitMs = 1000;
constexpr int greetingWaitMs = 1000;
constexpr int loginReplyWaitMs = 1000;

constexpr int drainGapMs = 100; // leftovers are drained until this much silence
constexpr int firstReplyWaitMs = 6000;
constexpr int replyGapMs = 1000; // a reply is complete after this much silence

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

// Waits up to `ms` for the connection to stand. A connection refused ends the wait at once;
// one still pending when the time is up is given up, as the socket's own wait did.
bool waitForConnected(QTcpSocket &socket, int ms)
{
    const bool settled = eventwait::until(
        [&socket] {
            return socket.state() == QAbstractSocket::ConnectedState
                || socket.state() == QAbstractSocket::UnconnectedState;
        },
        ms);
    if (settled && socket.state() == QAbstractSocket::ConnectedState)
        return true;
    if (socket.state() != QAbstractSocket::UnconnectedState)
        socket.abort();
    return false;
}

// Waits up to `ms` for the device's next bytes: true when bytes came (also bytes that came
// while an earlier wait or pause served the window, before they were read), false on
// time-out, when the connection is gone with nothing left to read, or when the tool is
// stopping.
bool waitForReadyRead(QTcpSocket &socket, int ms)
{
    bool gone = false;
    const bool came = eventwait::until(
        [&] {
            if (socket.bytesAvailable() > 0)
                return true;
            gone = socket.state() != QAbstractSocket::ConnectedState;
            return gone;
        },
        ms);
    return came && !gone;
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
    if (!eventwait::pause(settlePauseMs))
        return false;
    tcpSocket->abort();
    // What comes while a wait or pause serves the window is read ahead into the socket's
    // buffer; a device that never stops talking must not fill the memory meanwhile.
    tcpSocket->setReadBufferSize(licencetext::replyLimitBytes);

    const quint16 portNumber = port.toUShort(); // text that is not a number gives 0
    qDebug() << ip << portNumber;
    tcpSocket->connectToHost(QHostAddress(ip), portNumber, QIODevice::ReadWrite);
    if (!waitForConnected(*tcpSocket, connectWaitMs)) {
        qDebug() << "TCP 连接失败1";
        return false;
    }

    // A greeting is optional. One read of what came: anything later stays for the login.
    if (waitForReadyRead(*tcpSocket, greetingWaitMs))
        qDebug() << "bget" << tcpSocket->readAll();
    if (!eventwait::pause(settlePauseMs))
        return false;

    // The shell answers the user name in two chunks (its echo, then the password prompt);
    // the replies are logged, never interpreted.
    if (!user.isEmpty()) {
        writeLine(*tcpSocket, user);
        if (!waitForReadyRead(*tcpSocket, loginReplyWaitMs))
            return false;
        qDebug() << "N1" << tcpSocket->readAll();
        if (!waitForReadyRead(*tcpSocket, loginReplyWaitMs))
            return false;
        qDebug() << "N2" << tcpSocket->readAll();
    }

    // The password needs one reply; a second one (the prompt) is read when it comes.
    if (!password.isEmpty()) {
        writeLine(*tcpSocket, password);
        if (!waitForReadyRead(*tcpSocket, loginReplyWaitMs))
            return false;
        qDebug() << "M1" << tcpSocket->readAll();
        if (waitForReadyRead(*tcpSocket, loginReplyWaitMs))
            qDebug() << "M2" << tcpSocket->readAll();
    }
    return !eventwait::stopping();
}

QString MainWindow::readTCP(const QString &command)
{
    // Throw away what came unasked: the rest of the login, prompts, a late earlier reply.
    QElapsedTimer draining;
    draining.start();
    qint64 drained = 0;
    while (drained < drainLimitBytes) {
        const int wait = remainingWait(draining, drainBudgetMs, drainGapMs);
        if (wait == 0 || !waitForReadyRead(*tcpSocket, wait))
            break;
        drained += tcpSocket->readAll().size();
    }
    if (eventwait::stopping())
        return QString();

    writeLine(*tcpSocket, command);
    if (!waitForReadyRead(*tcpSocket, firstReplyWaitMs))
        return QString();

    // Gather until the device falls silent for a second, or the reply is too long in size
    // or in time. Reading at most up to the limit keeps the reply within it.
    QElapsedTimer gathering;
    gathering.start();
    QByteArray reply = tcpSocket->read(licencetext::replyLimitBytes);
    while (reply.size() < licencetext::replyLimitBytes) {
        const int wait = remainingWait(gathering, gatherBudgetMs, replyGapMs);
        if (wait == 0 || !waitForReadyRead(*tcpSocket, wait))
            break;
        reply += tcpSocket->read(licencetext::replyLimitBytes - reply.size());
    }

    qDebug() << "bget" << reply;
    return licencetext::upToZero(reply);
}
