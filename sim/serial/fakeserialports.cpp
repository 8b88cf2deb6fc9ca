// GLib's headers use the word "signals", which Qt defines as a keyword: umockdev first.
#include <umockdev.h>

#include "sim/serial/fakeserialports.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QtGlobal>

namespace quorvane::sim {

namespace {
// Major number of USB modems (cdc_acm); each port gets its own minor.
constexpr int acmMajor = 166;
} // namespace

FakeSerialPorts::FakeSerialPorts(std::shared_ptr<Testbed> testbed)
{
    if (!Testbed::isUnderEmulation())
        qFatal("FakeSerialPorts: umockdev's preload library is not loaded; call "
               "Testbed::runUnderEmulation first");
    m_testbed = testbed ? std::move(testbed) : std::make_shared<Testbed>();
}

FakeSerialPorts::~FakeSerialPorts()
{
    qDeleteAll(m_held);
    m_devices.clear(); // stops the device threads before their ports go
}

QProcessEnvironment FakeSerialPorts::processEnvironment() const
{
    return m_testbed->processEnvironment();
}

FakeAtDevice &FakeSerialPorts::addPort(const QString &name, const QString &description)
{
    const int number = ++m_portCount;
    // The port list comes sorted by sysfs path: the two-digit port number keeps the order
    // in which the ports were added.
    Port port;
    port.name = name;
    port.usbPath = QStringLiteral("/sys/devices/usb1/1-%1").arg(number, 2, 10, QLatin1Char('0'));
    port.interfacePath = port.usbPath + QStringLiteral("/1-%1:1.0").arg(number, 2, 10, QLatin1Char('0'));
    port.ttyPath = port.interfacePath + QStringLiteral("/tty/") + name;

    const QString minor = QString::number(number - 1);
    const QString record =
        QStringLiteral("P: %1\n"
                       "E: SUBSYSTEM=usb\n"
                       "E: DEVTYPE=usb_device\n"
                       "E: DRIVER=usb\n"
                       "A: busnum=1\n"
                       "A: devnum=%2\n"
                       "\n"
                       "P: %3\n"
                       "E: SUBSYSTEM=usb\n"
                       "E: DEVTYPE=usb_interface\n"
                       "E: DRIVER=cdc_acm\n"
                       "\n"
                       "P: %4\n"
                       "N: %5\n"
                       "E: SUBSYSTEM=tty\n"
                       "E: DEVNAME=/dev/%5\n"
                       "E: MAJOR=%6\n"
                       "E: MINOR=%7\n"
                       "A: dev=%6:%7\n"
                       "E: ID_MODEL=%8\n")
            .arg(port.usbPath.mid(4), QString::number(number + 1), port.interfacePath.mid(4),
                 port.ttyPath.mid(4), name, QString::number(acmMajor), minor, description);

    int masterFd = -1;
    {
        std::lock_guard<std::mutex> lock(m_testbed->mutex());
        GError *error = nullptr;
        if (!umockdev_testbed_add_from_string(m_testbed->handle(), record.toUtf8().constData(), &error))
            qFatal("FakeSerialPorts: cannot add port %s: %s", qPrintable(name), error->message);
        masterFd =
            umockdev_testbed_get_dev_fd(m_testbed->handle(), qPrintable(QStringLiteral("/dev/") + name));
    }
    if (masterFd < 0)
        qFatal("FakeSerialPorts: port %s has no terminal behind it", qPrintable(name));

    m_devices.emplace_back(new FakeAtDevice(masterFd, name, [this, port] { remove(port); }));
    return *m_devices.back();
}

FakeAtDevice *FakeSerialPorts::device(const QString &name) const
{
    for (const auto &device : m_devices) {
        if (device->portName() == name)
            return device.get();
    }
    return nullptr;
}

// A pulled-out USB modem: its tty goes first, then the interface and the device.
void FakeSerialPorts::remove(const Port &port)
{
    std::lock_guard<std::mutex> lock(m_testbed->mutex());
    // umockdev maps the terminal behind the port (/dev/pts/N) back to the port in
    // dev/.ptymap and leaves that entry behind on removal; pty numbers are reused, and a
    // later port that gets the same terminal would find the stale entry and abort.
    const QString root = m_testbed->rootDir();
    const QString node = root + QStringLiteral("/dev/") + port.name;
    const QString terminal = QFileInfo(node).symLinkTarget();
    if (!terminal.isEmpty()) {
        QString entry = terminal;
        entry.replace(QLatin1Char('/'), QLatin1Char('_'));
        QFile::remove(root + QStringLiteral("/dev/.ptymap/") + entry);
    }
    for (const QString &path : {port.ttyPath, port.interfacePath, port.usbPath}) {
        const QByteArray syspath = path.toUtf8();
        umockdev_testbed_uevent(m_testbed->handle(), syspath.constData(), "remove");
        umockdev_testbed_remove_device(m_testbed->handle(), syspath.constData());
    }
}

bool FakeSerialPorts::holdBusy(const QString &name)
{
    if (m_held.contains(name))
        return true;
    auto *holder = new QSerialPort(name);
    if (!holder->open(QIODevice::ReadWrite)) {
        delete holder;
        return false;
    }
    m_held.insert(name, holder);
    return true;
}

void FakeSerialPorts::release(const QString &name)
{
    delete m_held.take(name);
}

} // namespace quorvane::sim
