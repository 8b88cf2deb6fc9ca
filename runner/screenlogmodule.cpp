// A preload library that writes down what the tool puts on its window, one line per
// change, for runs of the real binary (the end-to-end tests and scripts/soak):
//
//   LD_PRELOAD=".../libquorvane-screenlog.so" QUORVANE_SCREEN_LOG=FILE build/quorvane
//
// It stands in for the few Qt calls through which the window changes: the status bar's
// showMessage, QImage::load of a label picture, and QLabel's setText and clear.
// Each writes its line and then calls Qt's own function, so the tool behaves exactly as
// without it. Only calls made by the program itself pass through here; Qt's calls inside
// its own libraries stay bound to themselves.
//
// Lines are appended to FILE (opened with O_APPEND, so another process may append to the
// same file and the lines stay whole and in order):
//
//   screen <ms> message <text>          the status bar shows <text>
//   screen <ms> picture <path>          a picture is loaded (the label picture's path)
//   screen <ms> text <object> <text>    QLabel <object> shows <text>
//   screen <ms> clear <object>          QLabel <object> is emptied
//
// <ms> is CLOCK_MONOTONIC in milliseconds, the clock the fakes stamp their records with.
// In <text>, bytes below 0x20, 0x7f and the backslash are written as \xHH; everything
// else is the text's UTF-8.
#include <QObject>
#include <QString>

#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int logFd()
{
    static const int fd = [] {
        const char *path = std::getenv("QUORVANE_SCREEN_LOG");
        return path && *path ? ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644) : -1;
    }();
    return fd;
}

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || byte == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

void writeLine(const char *what, const QByteArray &rest)
{
    const int fd = logFd();
    if (fd < 0)
        return;
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const qint64 ms = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    const QByteArray line = "screen " + QByteArray::number(ms) + ' ' + what + ' ' + rest + '\n';
    // One write per line: appends of whole lines do not interleave.
    if (::write(fd, line.constData(), size_t(line.size())) < 0)
        return;
}

QByteArray nameOf(const QObject *object)
{
    const QString name = object->objectName();
    return name.isEmpty() ? QByteArray("-") : name.toUtf8();
}

// Qt's own definition of the function this library stands in for.
template<typename Function> Function next(const char *symbol)
{
    void *found = ::dlsym(RTLD_NEXT, symbol);
    if (!found)
        std::abort();
    return reinterpret_cast<Function>(found);
}

} // namespace

// The mangled names are those of Qt 5's member functions; `self` is the object they are
// called on (a QLabel is a QObject first, at the same address). Each forwards to the
// original. The classes' own headers are left out, so that their declarations of these
// very functions do not meet these definitions.
class QImage;
class QStatusBar;

extern "C" {

Q_DECL_EXPORT void _ZN10QStatusBar11showMessageERK7QStringi(QStatusBar *self, const QString &message,
                                                            int timeout)
{
    static const auto original = next<void (*)(QStatusBar *, const QString &, int)>(__func__);
    writeLine("message", escaped(message));
    original(self, message, timeout);
}

Q_DECL_EXPORT bool _ZN6QImage4loadERK7QStringPKc(QImage *self, const QString &fileName, const char *format)
{
    static const auto original = next<bool (*)(QImage *, const QString &, const char *)>(__func__);
    writeLine("picture", escaped(fileName));
    return original(self, fileName, format);
}

Q_DECL_EXPORT void _ZN6QLabel7setTextERK7QString(QObject *self, const QString &text)
{
    static const auto original = next<void (*)(QObject *, const QString &)>(__func__);
    writeLine("text", nameOf(self) + ' ' + escaped(text));
    original(self, text);
}

Q_DECL_EXPORT void _ZN6QLabel5clearEv(QObject *self)
{
    static const auto original = next<void (*)(QObject *)>(__func__);
    writeLine("clear", nameOf(self));
    original(self);
}

} // extern "C"
