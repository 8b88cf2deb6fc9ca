// GLib's headers use the word "signals", which Qt defines as a keyword: umockdev first.
#include <umockdev.h>

#include "sim/emulation/testbed.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <QtGlobal>

#include <libusb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace quorvane::sim {

namespace {
constexpr char preloadLibrary[] = "libumockdev-preload.so.0";
constexpr char lockDirectory[] = "/run/lock";
} // namespace

Testbed::Testbed()
{
    m_testbed = umockdev_testbed_new();
    // Without a /dev of its own the port list and libusb fall back to the machine's /dev.
    QDir().mkpath(rootDir() + QStringLiteral("/dev/bus/usb"));
    // Whoever makes a testbed means to see its devices only: stop here, loudly, if more is in sight.
    const QString why = hostDevicesInSight();
    if (!why.isEmpty())
        qFatal("testbed: refusing to go on, real devices could be reached (%s). Tests, the demo and the "
               "device simulator run under the emulated testbed only; scripts/run is the one "
               "command meant for real devices.",
               qPrintable(why));
}

Testbed::~Testbed()
{
    g_clear_object(&m_testbed);
}

QString Testbed::rootDir() const
{
    gchar *root = umockdev_testbed_get_root_dir(m_testbed);
    const QString path = QString::fromLocal8Bit(root);
    g_free(root);
    return path;
}

QProcessEnvironment Testbed::processEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("UMOCKDEV_DIR"), rootDir());
    environment.insert(QStringLiteral("LD_PRELOAD"), QString::fromLocal8Bit(qgetenv("LD_PRELOAD")));
    return environment;
}

void Testbed::runUnderEmulation(int argc, char **argv)
{
    Q_UNUSED(argc)
    if (isUnderEmulation())
        return;
    // umockdev's library goes first, before anything preloaded already. In the sanitizer
    // build (clang) the AddressSanitizer runtime is linked into the program itself, so it
    // precedes every preloaded library anyway and must not be preloaded again: a second
    // runtime in LD_PRELOAD stops the program ("incompatible ASan runtimes"). With gcc's
    // shared runtime it would be the other way round: libasan.so has to come first in
    // LD_PRELOAD, before umockdev's library, or the runtime refuses to start ("does not
    // come first in initial library list"), which only verify_asan_link_order=0 silences.
    // Either way the runtime starts before umockdev's library is initialised: it must not
    // call a wrapped function such as mkdir() then (see scripts/test, log_path).
    const char *earlier = std::getenv("LD_PRELOAD");
    QByteArray preload(preloadLibrary);
    if (earlier && *earlier)
        preload += ' ' + QByteArray(earlier);
    ::setenv("LD_PRELOAD", preload.constData(), 1);
    ::execv("/proc/self/exe", argv);
    qFatal("cannot start %s again with %s: %s", argv[0], preloadLibrary, std::strerror(errno));
}

bool Testbed::isUnderEmulation()
{
    const char *preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload") != nullptr;
}

bool Testbed::usePrivateLockDirectory(QString *why)
{
    if (::unshare(CLONE_NEWNS) != 0) {
        *why = QStringLiteral("unshare(CLONE_NEWNS): %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Mounts made from here on stay in this process and its children.
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || ::mount("tmpfs", lockDirectory, "tmpfs", 0, "mode=1777") != 0) {
        *why = QStringLiteral("mount: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

// Under umockdev every path below /sys is the testbed's, but a path below /dev that the
// testbed lacks falls through to the machine's own /dev: a port or USB node that is not in
// the testbed would be a real one.
//
// LD_PRELOAD naming umockdev's library proves nothing: the dynamic loader only warns when it
// cannot load a preloaded library, and the program then runs on the real /sys and /dev. So
// umockdev is asked whether its library really redirects this process, before anything
// enumerates; it answers only once a testbed exists (and keeps its first answer).
QString hostDevicesInSight()
{
    if (!umockdev_in_mock_environment())
        return QStringLiteral(
            "umockdev's preload library is not loaded: the real /sys and /dev are in sight");
    const QString root = QString::fromLocal8Bit(qgetenv("UMOCKDEV_DIR"));
    if (root.isEmpty() || !QFileInfo(root + QStringLiteral("/sys")).isDir())
        return QStringLiteral("no emulated testbed (UMOCKDEV_DIR '%1'): the real /sys is in sight").arg(root);
    if (!QFileInfo(root + QStringLiteral("/dev")).isDir())
        return QStringLiteral("the testbed has no /dev: the serial port list would scan the real /dev");

    QStringList real;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        if (!QFileInfo::exists(root + port.systemLocation()))
            real << QStringLiteral("serial port %1").arg(port.systemLocation());
    }
    libusb_context *context = nullptr;
    if (libusb_init(&context) == 0) {
        libusb_device **list = nullptr;
        const ssize_t n = libusb_get_device_list(context, &list);
        for (ssize_t i = 0; i < n; ++i) {
            const QString node = QStringLiteral("/dev/bus/usb/%1/%2")
                                     .arg(libusb_get_bus_number(list[i]), 3, 10, QLatin1Char('0'))
                                     .arg(libusb_get_device_address(list[i]), 3, 10, QLatin1Char('0'));
            if (!QFileInfo::exists(root + node))
                real << QStringLiteral("USB device %1").arg(node);
        }
        if (n >= 0)
            libusb_free_device_list(list, 1);
        libusb_exit(context);
    }
    if (!real.isEmpty())
        return QStringLiteral("not in the testbed, so the machine's own: %1")
            .arg(real.join(QStringLiteral(", ")));
    return QString();
}

} // namespace quorvane::sim
