#include "runner/xserver.h"

#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace runner {

XServer startXServer(int width, int height)
{
    XServer server;
    int fds[2];
    if (::pipe(fds) != 0)
        return server;
    server.pid = ::fork();
    if (server.pid == 0) {
        ::close(fds[0]);
        ::unsetenv("LD_PRELOAD");
        ::unsetenv("UMOCKDEV_DIR");
        const QByteArray fd = QByteArray::number(fds[1]);
        const QByteArray geometry = QByteArray::number(width) + 'x' + QByteArray::number(height) + "x24";
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.constData(), "-screen", "0", geometry.constData(), "-br",
                 "-nolisten", "tcp", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    QByteArray number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    ::close(fds[0]);
    if (!number.isEmpty())
        server.display = ':' + number;
    return server;
}

void stopXServer(long pid)
{
    if (pid > 0) {
        ::kill(pid_t(pid), SIGTERM);
        ::waitpid(pid_t(pid), nullptr, 0);
    }
}

} // namespace runner
